# Writes a C++ file that holds the bytes of IN and registers them under NAME at start-up.
file(READ "${IN}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(WRITE "${OUT}" "#include \"Resources.h\"\n"
  "namespace {\n"
  "const unsigned char kData[] = {${bytes} 0};\n"
  "const ResourceRegistration kRegistration(\"${NAME}\", reinterpret_cast<const char*>(kData), sizeof(kData) - 1);\n"
  "}  // namespace\n")
