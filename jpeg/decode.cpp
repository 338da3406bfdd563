// Placeholder until decoding lands.
#include "framework/system/exceptions.h"
#include "jpeg/codec.h"

TBitmap* GetDecodedBitmap(TJPEGImage&) { throw EInvalidGraphicOperation("JPEG decoding is not available"); }
