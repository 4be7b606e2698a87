# Turns the icon BMP that tavorensia-render wrote (IN) into a C++ source that
# holds its bytes (OUT), so that the program needs no icon file at run time.
file(READ "${IN}" hex HEX)
string(LENGTH "${hex}" digits)
if(digits EQUAL 0)
  message(FATAL_ERROR "empty icon ${IN}")
endif()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(WRITE "${OUT}"
  "// Made by data/embed_icon.cmake from ${IN}.\n"
  "#include <cstddef>\n#include <cstdint>\n\nnamespace tav {\n"
  "extern const uint8_t kWindowIconBmp[];\nextern const std::size_t kWindowIconBmpSize;\n"
  "const uint8_t kWindowIconBmp[] = {${bytes}};\n"
  "const std::size_t kWindowIconBmpSize = sizeof(kWindowIconBmp);\n}  // namespace tav\n")
