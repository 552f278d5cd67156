// textcodec: the codec from the command line.
//   textcodec encrypt TEXT     prints the code string of TEXT
//   textcodec decrypt CODES    prints the text of CODES
// Both print the result and a line end on standard output and exit 0; on a
// failure they print a message on standard error and exit 1 (2 for wrong use).
#include <cstdio>
#include <cstring>

#include "textcodec.h"

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "encrypt") != 0 && std::strcmp(argv[1], "decrypt") != 0)) {
    std::fprintf(stderr, "usage: textcodec encrypt TEXT | textcodec decrypt CODES\n");
    return 2;
  }
  const bool encrypt = std::strcmp(argv[1], "encrypt") == 0;
  char* out = nullptr;
  size_t length = 0;
  int rc = encrypt ? textcodec_encrypt(argv[2], &out) : textcodec_decrypt(argv[2], &out, &length);
  if (rc != 0) {
    std::fprintf(stderr, "textcodec: %s failed: %s (error %d)\n", argv[1], textcodec_message(rc), rc);
    return 1;
  }
  if (encrypt) length = std::strlen(out);
  std::fwrite(out, 1, length, stdout);
  std::fputc('\n', stdout);
  textcodec_free(out);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
