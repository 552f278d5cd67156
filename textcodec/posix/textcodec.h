/* The string codec as a plain C library (libtextcodec.so): a text as the
 * decimal codes of its characters joined by "H", and back. Texts are UTF-8;
 * the code page of the codes is Windows-1252.
 *
 * Every function returns 0 on success or the error number of the failure:
 *   5  a code that is out of range or no character of the code page
 *   6  a text longer than 32767 characters, more than 32768 codes, or a code
 *      too big for 32 bits
 *   13 a part of the code string that is empty or not a number
 *   22 an argument that is no valid UTF-8 or a null pointer
 *   12 out of memory
 * On success *out is a new NUL-terminated string for textcodec_free; on
 * failure it is NULL. The message of an error number: textcodec_message. */
#ifndef TEXTCODEC_H
#define TEXTCODEC_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The code string of a UTF-8 text. A character outside Windows-1252 is
 * encoded as 63, the code of the question mark (one per UTF-16 unit, so a
 * character beyond U+FFFF gives two). */
int textcodec_encrypt(const char* text, char** codes);
/* The same for a text of the given length in bytes, which may hold NULs. */
int textcodec_encrypt_n(const char* text, size_t length, char** codes);

/* The UTF-8 text of a code string. *length (when not NULL) receives the
 * length in bytes, which counts NULs that the codes 0 put into the text. */
int textcodec_decrypt(const char* codes, char** text, size_t* length);

/* Frees a string handed out by the functions above; NULL is allowed. */
void textcodec_free(char* s);

/* A static description of an error number of these functions. */
const char* textcodec_message(int error);

#ifdef __cplusplus
}
#endif

#endif
