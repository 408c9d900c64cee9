#include "ui/message_texts.h"

#include "app/oem_data.h"

namespace orvane::ui {

std::optional<CMessageTexts> MessageTextsFor(int language) {
  switch (language) {
    case 0:
      return CMessageTexts{
          "没有找到高拍仪设备，请检查高拍仪设备是否连接正确",
          "创建临时文件夹失败",
          "高拍仪设备可能被其他程序占用，请检查",
          "没有识别出条码，或识别出的条码内容不适合作为文件名！",
          "正在把图像合并为多页TIF文件",
          "正在把图像合并为多页PDF文件",
          "正在进行图像合并",
          "文档设备可能被占用，所选分辨率无法启用",
          "人像设备可能被占用，所选分辨率无法启用",
          "只能使用一个设备录制视频",
          "高拍仪设备被拔出或接触不良，请检查！",
          "文件无法删除，它可能正被其他程序使用，或没有删除它的权限",
          "已收集的%d页还没有合并，要放弃这些页面吗？",
          "这些页面的文件将被删除。",
          "无法生成PDF文件，图像已保留：",
          "无法读取设置文件，本次使用默认设置运行，该文件保持原样：",
          "上次关闭程序时，已收集的%d页还没有合并，它们保存在：",
          "\n要重新打开这些页面吗？",
      };
    case 1:
      return CMessageTexts{
          "沒有找到高拍儀設備,請檢查高拍儀設備是否連接正確",
          "創建暫存檔案夾失敗",
          "高拍儀設備已被其他程式佔用",
          // The barcode text has no Traditional Chinese form of its own.
          "没有识别出条码，或识别出的条码内容不适合作为文件名！",
          "正在把圖像合併為多頁TIF檔",
          "正在把圖像合併為多頁PDF檔",
          "正在進行圖像合併",
          "文檔設備可能被佔用，所選解析度無法啟用",
          "人像設備可能被佔用，所選解析度無法啟用",
          "祗能使用一個設備進行錄影！",
          "高拍儀設備被拔出或接觸不良，請檢查！",
          "檔案無法刪除，它可能正被其他程式使用，或沒有刪除它的權限",
          "已收集的%d頁還沒有合併，要放棄這些頁面嗎？",
          "這些頁面的檔案將被刪除。",
          "無法產生PDF檔，圖像已保留：",
          "無法讀取設定檔，本次使用預設設定執行，該檔案保持原樣：",
          "上次關閉程式時，已收集的%d頁還沒有合併，它們保存在：",
          "\n要重新開啟這些頁面嗎？",
      };
    case 2:
      return CMessageTexts{
          "Please check whether the device is properly connected",
          "Create a temporary folder fails",
          "The device may be used by other programs, please check!",
          "Contents of the bar code is empty, or is not suitable as file name!",
          "Making Multi-page .TIF",
          "Making Multi-page .PDF",
          "Combining 2 images to 1",
          "DOC-device may be occupied, selected resolution can not be enabled",
          "POR-device may be occupied, selected resolution can not be enabled",
          "When recording video, only one device can be use !",
          "USB connection is not reliable, please check!",
          "The file cannot be deleted: another program may be using it, or it may not be deleted here.",
          "The %d collected pages have not been combined yet. Drop them?",
          " Their files will be deleted.",
          "The PDF could not be written; the picture was kept: ",
          "The settings file cannot be read. The station runs on its default settings this time and leaves the file as it is: ",
          "When the program last closed, %d collected pages had not been combined yet. They are kept in: ",
          "\nOpen them again?",
      };
    default:
      return std::nullopt;
  }
}

std::string StationCaption() {
  const std::string& product = COemData::Instance().productName();
  return product.empty() ? kDefaultStationCaption : product;
}

std::string CannotOpenText(int language) {
  static const char* const kTexts[] = {
      "没有可以打开此文件的程序，请为这种文件指定一个打开程序：",
      "沒有可以開啟此檔案的程式，請為這種檔案指定一個開啟程式：",
      "No program is set up to open this file; please choose one for files of this kind: ",
  };
  return kTexts[TextColumn(language)];
}

}  // namespace orvane::ui
