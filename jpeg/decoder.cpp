// Placeholder until decoder preparation lands.
#include "framework/system/exceptions.h"
#include "jpeg/codec.h"

void PrepareDecoder(TJPEGImage&, TJPEGCodecRecord&) { throw EInvalidGraphicOperation("JPEG decoding is not available"); }
void RefreshOutputSize(TJPEGImage&) {}
