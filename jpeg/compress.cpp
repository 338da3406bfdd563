// Placeholder until compression lands.
#include "framework/system/exceptions.h"
#include "jpeg/codec.h"

void EnsureJpegStream(TJPEGImage&) {}
void CompressBitmap(TJPEGImage&) { throw EInvalidGraphicOperation("JPEG compression is not available"); }
