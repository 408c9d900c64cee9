// The string and file helpers this library exports for other programs: code-page conversions,
// text tests, file-name checks, splitting, MD5 digests and TEA encryption to hexadecimal text.
// Other programs find these members by name, so names and argument lists stay as they are.
//
// Texts of the "A" overloads are bytes (UTF-8 unless a code page says otherwise), those of the
// "W" overloads wchar_t code points. Buffer sizes count elements of the buffer's type and
// include the terminator. A null pointer argument gives the failure result.
// Code pages: 0 and (unsigned)-1 the program's ANSI page (UTF-8), 65001 UTF-8, 936 GBK,
// 950 BIG5; any other is a failure.
// The static members may be called from several threads at once; an object's split store is
// used by one thread at a time.
#pragma once

#include <memory>

#define ORVANE_HELPERS_API __attribute__((visibility("default")))

namespace orvane {
struct SplitStore;
}

class ORVANE_HELPERS_API CStringAndFilePro {
 public:
  CStringAndFilePro();
  // Copies hold their own split store.
  CStringAndFilePro(const CStringAndFilePro& other);
  CStringAndFilePro(CStringAndFilePro&& other) noexcept;
  ~CStringAndFilePro();
  CStringAndFilePro& operator=(const CStringAndFilePro& other);
  CStringAndFilePro& operator=(CStringAndFilePro&& other) noexcept;

  // Conversions between wchar_t text and a code page. Results: 0 done; 1 `out` too small,
  // unknown code page or failed conversion; 4 the text does not survive (ConvertWChar2Char
  // only: unmappable characters, or two U+FFFD in a row in the output).
  static int ConvertWChar2Char(const wchar_t* text, char* out, int outSize, unsigned codePage);
  static int ConvertChar2WChar(const char* text, wchar_t* out, int outSize, unsigned codePage);

  // Conversions between code pages, characters a target cannot hold becoming "?". False when
  // `out` is too small or a code page is unknown. GBK2UTF8 and UTF82GBK convert real GBK.
  static bool GBK2UTF8(const char* text, char* out, int outSize);
  static bool UTF82GBK(const char* text, char* out, int outSize);
  static bool ConvertACP(char* text, char* out, int outSize, unsigned fromCodePage, unsigned toCodePage);
  // 65001 when the text survives a UTF-8 round trip unchanged, else -1.
  static int CheckACP(char* text);

  static bool IsASCII(const char* text);
  static bool is_str_utf8(const char* text);
  static bool IsGBK(const char* text);

  // The lower-case text after the last "." into `out` (16 elements): 0, or 3 when longer than
  // 15 characters.
  static int GetFileExtensionName(const char* path, char* out);
  static int GetFileExtensionName(const wchar_t* path, wchar_t* out);
  // By extension: -1 none; jpg/jpeg 0, bmp 1, png 2, gif 3, tga 4, ras 5, pcx 6, tif/tiff 7,
  // pdf 8, asf 9, avi 10, mp4 11, wmv 12, txt 13, doc/docx 14, xls/xlsx 15, rar/zip 16,
  // exe 17; -2 any other.
  static int CheckFileType(const char* path);
  static int CheckFileType(const wchar_t* path);
  // Makes sure the folder of `path` exists (the path itself when it is a folder, else the text
  // before the last "/"), creating every missing level.
  static bool CheckPath(const char* path);
  static bool CheckPath(const wchar_t* path);

  // Cuts `text` at every `separator` into this object's store (one list per text kind) and
  // returns the number of pieces; an empty separator gives the whole text as one piece. An
  // empty text returns 0 and leaves the store as it was.
  unsigned SpliteString(const char* text, const char* separator);
  unsigned SpliteString(const wchar_t* text, const wchar_t* separator);
  // Results: 0 copied (or, with a null `out`, `size` set to the piece's length + 1);
  // 1 `size` too small; 2 no such piece.
  int GetSplitedString(unsigned index, char* out, unsigned& size);
  int GetSplitedString(unsigned index, wchar_t* out, unsigned& size);

  // Digits 0 to 9, with an optional leading "-" or "+" when at least one digit follows; an
  // empty text is a number.
  static bool IsNumber(const char* text);
  static bool IsNumber(const wchar_t* text);
  // ASCII letters and characters of `allowed` only; an empty text passes.
  static bool IsLetters(const char* text, const char* allowed);
  static bool IsLetters(const wchar_t* text, const wchar_t* allowed);

  // 32 lower-case hexadecimal digits and a terminator into `out` (33 elements). The W form
  // digests the text's UTF-8 bytes; a file that cannot be read gives false.
  static bool GetMD5FromString(const char* text, char* out);
  static bool GetMD5FromString(const wchar_t* text, wchar_t* out);
  static bool GetMD5FromFile(const char* path, char* out);
  static bool GetMD5FromFile(const wchar_t* path, wchar_t* out);

  // TEA under the key given as up to 32 hexadecimal digits (missing bytes zero). Encryption
  // pads the last 8-byte block with zeros and writes 16 upper-case digits per block, without a
  // terminator; decryption reads whole 16-digit blocks. On success `outLength` becomes the
  // result's length; false, with nothing written, when it is smaller than that.
  static bool EncryptString(const unsigned char* data, unsigned length, const char* keyHex, unsigned char* out,
                            unsigned& outLength);
  static bool DecryptString(const unsigned char* hexData, unsigned length, const char* keyHex,
                            unsigned char* out, unsigned& outLength);

 private:
  std::unique_ptr<orvane::SplitStore> store_;
};

// The character set of the current locale, as libcharset reports it.
extern "C" ORVANE_HELPERS_API const char* locale_charset();
