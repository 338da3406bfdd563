#pragma once
// The launcher's main window: six cover tiles with captions for the first six titles found
// beside the program, and the title catalogue behind them.
#include <cstdint>

#include "framework/forms/form.h"
#include "framework/forms/image.h"
#include "framework/forms/label.h"

// Capacity of the title catalogue; titles found beyond it are ignored.
constexpr int MaxTitles = 100;

// Fills the catalogue from the current directory: every entry that opens as a folder becomes a
// title, in enumeration order. A title's folder path is the program's folder + "\" + name + "\";
// its flags are set to 1 when that folder holds some "*.jpg" / "*.bin" file (never cleared).
// Each pointer addresses the first of MaxTitles slots; nothing past the last slot is written.
// A current directory that cannot be opened yields no titles.
void ScanTitles(AnsiString* names, AnsiString* folders, std::int32_t* hasJpg, std::int32_t* hasBin);

class TForm1 : public TForm {
 public:
  TImage* Image1;
  TImage* Image2;
  TImage* Image3;
  TLabel* Label1;
  TLabel* Label2;
  TLabel* Label3;
  TImage* Image4;
  TImage* Image5;
  TImage* Image6;
  TLabel* Label4;
  TLabel* Label5;
  TLabel* Label6;

  AnsiString TitleNames[MaxTitles];
  AnsiString TitleFolders[MaxTitles];
  // Only slots 0 to 5 (the tiles) are ever filled.
  AnsiString MountCommands[MaxTitles];
  std::int32_t HasJpg[MaxTitles] = {};
  std::int32_t HasBin[MaxTitles] = {};

  explicit TForm1(TComponent* owner);

  // Scans for titles, sets the captions, loads the covers, builds the mount commands. A cover
  // that fails to load raises, leaving the later covers and every mount command undone.
  void FormShow(TObject* sender);
  // A click on tile k mounts the disc image of slot k - 1 when that title has one; the window
  // closes once the mount program has started.
  void Image1Click(TObject* sender);
  void Image2Click(TObject* sender);
  void Image3Click(TObject* sender);
  void Image4Click(TObject* sender);
  void Image5Click(TObject* sender);
  void Image6Click(TObject* sender);

 private:
  void LaunchSlot(int slot);
};

extern TForm1* Form1;
