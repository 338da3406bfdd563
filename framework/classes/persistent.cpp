#include "framework/classes/persistent.h"

#include "framework/system/exceptions.h"

void TPersistent::Assign(TPersistent* source) {
  if (source == nullptr) {
    throw EConvertError(AnsiString("Cannot assign a nil to a ") + ClassName());
  }
  source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent* dest) {
  throw EConvertError(AnsiString("Cannot assign a ") + ClassName() + " to a " +
                      (dest != nullptr ? dest->ClassName() : "nil"));
}
