// Removed when the first source of this library lands.
