#pragma once
// Holder of one graphic, and the process-wide registry of graphic classes by file extension.
#include <memory>

#include "framework/graphics/graphic.h"

class TBitmap;

class TPicture : public TInterfacedPersistent {
 public:
  TPicture();
  ~TPicture() override;
  const char* ClassName() const override { return "TPicture"; }

  TGraphic* Graphic() const { return graphic_.get(); }
  // Takes a copy of the graphic (a new graphic of its class, assigned from it); nullptr empties.
  void SetGraphic(TGraphic* graphic);
  // Takes ownership. Raises EInvalidGraphicOperation, and keeps the held graphic, while that one
  // is busy (called from a handler of its own decode or save).
  void SetGraphic(std::unique_ptr<TGraphic> graphic);
  int Width() const;
  int Height() const;

  // Picks the class by the file name's extension (case-insensitive), loads the file into a new
  // graphic of that class and, on success, holds it. On failure the held graphic is unchanged.
  // An unknown extension raises EInvalidGraphic.
  void LoadFromFile(const AnsiString& fileName);
  void SaveToFile(const AnsiString& fileName);

  // The Data form property: one byte n, the class name (n bytes), the graphic's form payload.
  // An empty picture writes a single 0 byte.
  void ReadData(TStream& stream);
  void WriteData(TStream& stream);

  void Assign(TPersistent* source) override;

  // Called when the held graphic changes or is replaced.
  TNotifyEvent OnChange;

  // Registry. Extensions are given without the dot; a later registration of the same
  // extension wins.
  static void RegisterFileFormat(const AnsiString& extension, const AnsiString& description,
                                 const TGraphicClass& graphicClass);
  static void UnregisterGraphicClass(const TGraphicClass& graphicClass);
  static const TGraphicClass* FindClassByExtension(const AnsiString& extension);
  static const TGraphicClass* FindClassByName(const AnsiString& className);

 private:
  void GraphicChanged(TObject* sender);
  std::unique_ptr<TGraphic> graphic_;
};
