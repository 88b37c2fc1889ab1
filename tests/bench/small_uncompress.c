/* uncompress of the small zlib, compiled with Z_PREFIX, under a name that
   does not clash with the system zlib's. */
#include "zlib.h"

int SmallUncompress(unsigned char* dest, unsigned long* destLen, const unsigned char* source,
                    unsigned long sourceLen) {
  return uncompress(dest, destLen, source, sourceLen);
}
