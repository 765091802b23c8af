// byte_writer.h - the one callback type that writers hand their bytes to:
// the bitmap file writer, the archive writers and mhkbmp's output.
#pragma once

#include <stddef.h>

// Writes count bytes; false when they could not all be written. Writers
// that grow a file by zeros pass null bytes for count zeros; a callback
// given to them takes that too.
typedef bool (*ByteWriter)(void* context, const void* bytes, size_t count);
