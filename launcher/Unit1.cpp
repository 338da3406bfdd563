#include "launcher/Unit1.h"

#include <memory>

#include "framework/forms/application.h"
#include "framework/platform/dirent.h"
#include "framework/platform/paths.h"
#include "framework/platform/process.h"

TForm1* Form1 = nullptr;

namespace {

const char kMountPrefix[] = "\"C:\\Program Files\\DAEMON Tools\\daemon.exe\" -mount 0,\"";
const char kMountSuffix[] = "obraz.bin\"";
const char kCoverName[] = "1.jpg";
constexpr int kTileCount = 6;

struct DirCloser {
  void operator()(rtl::DIR* dir) const { rtl::closedir(dir); }
};
using DirHandle = std::unique_ptr<rtl::DIR, DirCloser>;

bool OpensAsFolder(const char* name) { return DirHandle(rtl::opendir(name)) != nullptr; }

// The image path is handed over as one quoted argument; a double quote inside it would end that
// argument early and smuggle the rest of the name in as further arguments, so such a title gets
// no command at all.
AnsiString MountCommandFor(const AnsiString& folder) {
  if (folder.find('"') != AnsiString::npos) return {};
  return kMountPrefix + folder + kMountSuffix;
}

}  // namespace

void ScanTitles(AnsiString* names, AnsiString* folders, std::int32_t* hasJpg,
                std::int32_t* hasBin) {
  DirHandle current(rtl::opendir("."));
  if (current == nullptr) return;
  const AnsiString programFolder = ExtractFileDir(Application->GetExeName());
  int slot = 0;
  while (slot < MaxTitles) {
    const rtl::dirent* entry = rtl::readdir(current.get());
    if (entry == nullptr) break;
    const AnsiString name = entry->d_name;
    if (!OpensAsFolder(name.c_str())) continue;
    names[slot] = name;
    folders[slot] = programFolder + "\\" + name + "\\";
    if (FileExists(folders[slot] + "*.jpg")) hasJpg[slot] = 1;
    if (FileExists(folders[slot] + "*.bin")) hasBin[slot] = 1;
    ++slot;
  }
}

TForm1::TForm1(TComponent* owner)
    : TForm(owner, "TForm1"),
      Image1(Child<TImage>("Image1")),
      Image2(Child<TImage>("Image2")),
      Image3(Child<TImage>("Image3")),
      Label1(Child<TLabel>("Label1")),
      Label2(Child<TLabel>("Label2")),
      Label3(Child<TLabel>("Label3")),
      Image4(Child<TImage>("Image4")),
      Image5(Child<TImage>("Image5")),
      Image6(Child<TImage>("Image6")),
      Label4(Child<TLabel>("Label4")),
      Label5(Child<TLabel>("Label5")),
      Label6(Child<TLabel>("Label6")) {
  BindHandler("FormShow", [this](TObject* sender) { FormShow(sender); });
  BindHandler("Image1Click", [this](TObject* sender) { Image1Click(sender); });
  BindHandler("Image2Click", [this](TObject* sender) { Image2Click(sender); });
  BindHandler("Image3Click", [this](TObject* sender) { Image3Click(sender); });
  BindHandler("Image4Click", [this](TObject* sender) { Image4Click(sender); });
  BindHandler("Image5Click", [this](TObject* sender) { Image5Click(sender); });
  BindHandler("Image6Click", [this](TObject* sender) { Image6Click(sender); });
  CheckHandlersBound();
}

void TForm1::FormShow(TObject*) {
  ScanTitles(TitleNames, TitleFolders, HasJpg, HasBin);

  TLabel* const captions[kTileCount] = {Label1, Label2, Label3, Label4, Label5, Label6};
  for (int slot = 0; slot < kTileCount; ++slot) captions[slot]->SetText(TitleNames[slot]);

  TImage* const tiles[kTileCount] = {Image1, Image2, Image3, Image4, Image5, Image6};
  for (int slot = 0; slot < kTileCount; ++slot) {
    if (HasJpg[slot] != 0) tiles[slot]->Picture()->LoadFromFile(TitleFolders[slot] + kCoverName);
  }

  for (int slot = 0; slot < kTileCount; ++slot)
    MountCommands[slot] = MountCommandFor(TitleFolders[slot]);
}

void TForm1::LaunchSlot(int slot) {
  if (HasBin[slot] == 0) return;
  if (WinExec(MountCommands[slot].c_str(), SW_SHOWNORMAL) > 31) Close();
}

void TForm1::Image1Click(TObject*) { LaunchSlot(0); }
void TForm1::Image2Click(TObject*) { LaunchSlot(1); }
void TForm1::Image3Click(TObject*) { LaunchSlot(2); }
void TForm1::Image4Click(TObject*) { LaunchSlot(3); }
void TForm1::Image5Click(TObject*) { LaunchSlot(4); }
void TForm1::Image6Click(TObject*) { LaunchSlot(5); }
