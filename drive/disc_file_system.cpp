#include "drive/disc_file_system.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>
#include <unordered_set>

#include "drive/directory_record.h"
#include "drive/drive.h"

namespace {

constexpr std::uint32_t kFirstDescriptorSector = 16;
// Volume descriptors read before giving up on finding the terminator; images hold a handful.
constexpr std::uint32_t kMaxDescriptors = 64;
constexpr std::size_t kRootRecordOffset = 156;
constexpr std::size_t kRootRecordBytes = 34;

// Bounds for what an image may list, far above any CD's or DVD's (a full CD holds some ten
// thousand files and well under a megabyte of folders), so that a hostile image cannot exhaust
// memory or time when it is opened.
constexpr std::size_t kMaxEntries = std::size_t{1} << 19;
constexpr std::uint64_t kMaxFolderBytes = std::uint64_t{256} << 20;
constexpr std::uint64_t kMaxNameBytesTotal = std::uint64_t{32} << 20;
// What following a continuation area costs beyond its bytes, charged to the folders' bound.
constexpr std::uint32_t kContinuationCost = 64;

const std::string kLabelFileName = ".windows-label";
const std::string kSerialFileName = ".windows-serial";
constexpr std::uint64_t kFirstEntryInode = 4;

std::uint64_t SectorsFor(std::uint64_t bytes) { return (bytes + kSectorBytes - 1) / kSectorBytes; }

bool IsJolietDescriptor(const std::uint8_t* descriptor) {
  // UCS-2 levels 1 to 3 in the escape sequences field.
  return descriptor[0] == 2 && descriptor[88] == '%' && descriptor[89] == '/' &&
         (descriptor[90] == '@' || descriptor[90] == 'C' || descriptor[90] == 'E');
}

// The serial Windows gives a CD, as publicly described for its CD file system: the 2048 bytes of
// the volume descriptor it mounts (the Joliet one when there is one) summed in four byte lanes,
// the first lane the most significant byte.
std::uint32_t WindowsSerial(std::span<const std::uint8_t, kSectorBytes> descriptor) {
  std::array<std::uint8_t, 4> lanes{};
  for (std::size_t i = 0; i < descriptor.size(); ++i)
    lanes[i % 4] = static_cast<std::uint8_t>(lanes[i % 4] + descriptor[i]);
  return std::uint32_t{lanes[0]} << 24 | std::uint32_t{lanes[1]} << 16 |
         std::uint32_t{lanes[2]} << 8 | lanes[3];
}

[[noreturn]] void ThrowDamaged(const ImageSource& source, const std::string& what) {
  throw DriveError(DriveErrorKind::kImageDamaged,
                   "The disc image \"" + source.Path() + "\" is damaged: " + what + ".");
}

// A sector known to be in the file: a failure is the file's, not the image's.
void ReadSectorOrThrow(const ImageSource& source, std::uint32_t sector, std::uint8_t* out) {
  if (!source.ReadSectors(sector, 1, out))
    throw DriveError(
        DriveErrorKind::kImageUnreadable,
        "The disc image \"" + source.Path() + "\" cannot be read: input/output error.");
}

}  // namespace

// Reads the tree breadth first: every folder's entries become nodes, checked as they come.
class DiscFileSystem::TreeReader {
 public:
  TreeReader(DiscFileSystem& files, Names names, std::uint8_t skipBytes)
      : files_(files), names_(names), skipBytes_(skipBytes) {}

  void ReadAll() {
    // Nodes are appended while reading, so this visits the folders breadth first.
    for (std::size_t index = 0; index < files_.nodes_.size(); ++index)
      if (files_.nodes_[index].isDirectory) ReadFolder(static_cast<std::uint32_t>(index));
  }

 private:
  void ChargeFolderBytes(std::uint64_t bytes) {
    folderBytes_ += bytes;
    if (folderBytes_ > kMaxFolderBytes)
      ThrowDamaged(files_.source_, "its folders are far larger than a disc's can be");
  }

  void ReadFolder(std::uint32_t index) {
    std::array<std::uint8_t, kSectorBytes> sector{};
    const std::uint32_t extent = files_.nodes_[index].extent;
    if (extent >= files_.source_.SectorCount())
      ThrowDamaged(files_.source_, "it ends before the folders it lists (the file is cut short)");
    if (files_.nodes_[index].sizeFromSelfRecord) {
      ChargeFolderBytes(kSectorBytes);
      ReadSectorOrThrow(files_.source_, extent, sector.data());
      const auto self = ParseDirectoryRecord(sector);
      files_.nodes_[index].size = self ? self->size : 0;
    }
    const std::uint64_t size = files_.nodes_[index].size;
    const std::uint64_t sectors = SectorsFor(size);
    if (extent + sectors > files_.source_.SectorCount())
      ThrowDamaged(files_.source_, "it ends before the folders it lists (the file is cut short)");
    // Every folder has its own sectors; meeting one again means the tree loops back on itself.
    if (sectors > 0 && !visitedFolders_.insert(extent).second)
      ThrowDamaged(files_.source_, "a folder contains itself (a loop)");
    ChargeFolderBytes(sectors * kSectorBytes);

    std::unordered_set<std::string> seen;
    if (index == 0) seen = {kLabelFileName, kSerialFileName};
    const std::size_t firstChild = files_.nodes_.size();
    for (std::uint64_t s = 0; s < sectors; ++s) {
      ReadSectorOrThrow(files_.source_, static_cast<std::uint32_t>(extent + s), sector.data());
      // Records never cross a sector; a length byte of 0 pads the rest of one.
      const auto bytes = std::span<const std::uint8_t>(sector).first(
          std::min<std::uint64_t>(kSectorBytes, size - s * kSectorBytes));
      std::size_t position = 0;
      while (const auto record = ParseDirectoryRecord(bytes.subspan(position))) {
        position += record->length;
        AddEntry(index, *record, seen);
      }
    }

    Node& folder = files_.nodes_[index];
    folder.firstChild = static_cast<std::uint32_t>(files_.children_.size());
    folder.childCount = static_cast<std::uint32_t>(files_.nodes_.size() - firstChild);
    for (std::size_t child = firstChild; child < files_.nodes_.size(); ++child)
      files_.children_.push_back(static_cast<std::uint32_t>(child));
    std::sort(files_.children_.begin() + folder.firstChild, files_.children_.end(),
              [&](std::uint32_t a, std::uint32_t b) {
                return files_.nodes_[a].name < files_.nodes_[b].name;
              });
  }

  void AddEntry(std::uint32_t parent, const DirectoryRecord& record,
                std::unordered_set<std::string>& seen) {
    if (IsSelfOrParent(record) || (record.flags & kFlagAssociated) != 0) return;
    Node node;
    node.parent = parent;
    node.time = record.time;
    node.extent = record.extent;
    node.size = record.size;
    node.isDirectory = (record.flags & kFlagDirectory) != 0;
    switch (names_) {
      case Names::kRockRidge: {
        const RockRidgeEntry rockRidge =
            ReadRockRidge(record, skipBytes_,
                          [&](std::uint32_t sector, std::uint32_t offset, std::uint32_t length) {
                            return ReadContinuation(sector, offset, length);
                          });
        if (rockRidge.relocated || rockRidge.nameTooLong) return;
        node.name = rockRidge.name.empty() ? IsoName(record.identifier) : rockRidge.name;
        if (rockRidge.childLink) {
          node.isDirectory = true;
          node.extent = *rockRidge.childLink;
          node.size = 0;
          node.sizeFromSelfRecord = true;
        }
        break;
      }
      case Names::kJoliet:
        node.name = JolietName(record.identifier);
        break;
      case Names::kIso:
        node.name = IsoName(record.identifier);
        break;
    }
    // An entry Linux could not name, or a second one of a name, is left out.
    if (!IsUsableName(node.name) || !seen.insert(node.name).second) return;
    if (!node.isDirectory && node.extent + SectorsFor(node.size) > files_.source_.SectorCount() &&
        node.size > 0)
      ThrowDamaged(files_.source_,
                   "it ends before the files it lists (the file is cut short, or \"" + node.name +
                       "\" has an impossible size)");
    if (files_.nodes_.size() >= kMaxEntries)
      ThrowDamaged(files_.source_, "it lists more than " + std::to_string(kMaxEntries) + " files");
    nameBytes_ += node.name.size();
    if (nameBytes_ > kMaxNameBytesTotal)
      ThrowDamaged(files_.source_, "its names are far longer than a disc's can be");
    if (node.isDirectory) ++files_.nodes_[parent].subfolders;
    files_.nodes_.push_back(std::move(node));
  }

  std::span<const std::uint8_t> ReadContinuation(std::uint32_t sector, std::uint32_t offset,
                                                 std::uint32_t length) {
    if (sector >= files_.source_.SectorCount()) return {};
    // Charged even when cached: records pointing at one area again and again are work too.
    ChargeFolderBytes(length + kContinuationCost);
    if (sector != cachedSector_) {
      ReadSectorOrThrow(files_.source_, sector, cache_.data());
      cachedSector_ = sector;
    }
    return std::span<const std::uint8_t>(cache_).subspan(offset, length);
  }

  DiscFileSystem& files_;
  const Names names_;
  const std::uint8_t skipBytes_;
  std::unordered_set<std::uint32_t> visitedFolders_;
  std::uint64_t folderBytes_ = 0;
  std::uint64_t nameBytes_ = 0;
  std::uint32_t cachedSector_ = UINT32_MAX;
  std::array<std::uint8_t, kSectorBytes> cache_{};
};

DiscFileSystem::DiscFileSystem(const std::string& path) : source_(path) {
  // The volume descriptors: the primary one, and a Joliet one when there is one.
  std::vector<std::uint8_t> primary, joliet;
  std::array<std::uint8_t, kSectorBytes> descriptor{};
  for (std::uint32_t i = 0; i < kMaxDescriptors; ++i) {
    if (!source_.ReadSectors(kFirstDescriptorSector + i, 1, descriptor.data()) ||
        std::memcmp(&descriptor[1], "CD001", 5) != 0 || descriptor[0] == 255)
      break;
    if (descriptor[0] == 1 && primary.empty()) primary.assign(descriptor.begin(), descriptor.end());
    if (IsJolietDescriptor(descriptor.data()) && joliet.empty())
      joliet.assign(descriptor.begin(), descriptor.end());
  }
  if (primary.empty())
    throw DriveError(DriveErrorKind::kNotADiscImage,
                     "\"" + path + "\" is not a CD image: it holds no ISO 9660 volume.");
  const std::uint32_t blockBytes = primary[128] | primary[129] << 8;
  if (blockBytes != kSectorBytes)
    ThrowDamaged(source_, "it says its blocks hold " + std::to_string(blockBytes) +
                              " bytes, where a CD's hold 2048");

  const auto& named = joliet.empty() ? primary : joliet;
  label_ = VolumeText(std::span(named).subspan(40, 32), !joliet.empty());
  if (label_.empty()) label_ = VolumeText(std::span(primary).subspan(40, 32), false);
  serial_ = WindowsSerial(std::span<const std::uint8_t, kSectorBytes>(named.data(), kSectorBytes));
  AddLabelFiles();

  // Rock Ridge names when the primary tree has SUSP entries, else Joliet names, else ISO 9660.
  const auto primaryRoot =
      ParseDirectoryRecord(std::span(primary).subspan(kRootRecordOffset, kRootRecordBytes));
  if (!primaryRoot) ThrowDamaged(source_, "the record of its root folder is broken");
  std::optional<std::uint8_t> skipBytes;
  if (primaryRoot->size > 0 && primaryRoot->extent < source_.SectorCount()) {
    ReadSectorOrThrow(source_, primaryRoot->extent, descriptor.data());
    if (const auto self = ParseDirectoryRecord(descriptor)) skipBytes = SuspSkipBytes(*self);
  }
  Names names = skipBytes ? Names::kRockRidge : joliet.empty() ? Names::kIso : Names::kJoliet;
  auto root = primaryRoot;
  if (names == Names::kJoliet) {
    root = ParseDirectoryRecord(std::span(joliet).subspan(kRootRecordOffset, kRootRecordBytes));
    if (!root) ThrowDamaged(source_, "the record of its root folder is broken");
  }

  Node rootNode;
  rootNode.extent = root->extent;
  rootNode.size = root->size;
  rootNode.time = root->time;
  rootNode.isDirectory = true;
  nodes_.push_back(std::move(rootNode));
  TreeReader(*this, names, skipBytes.value_or(0)).ReadAll();
}

void DiscFileSystem::AddLabelFiles() {
  // Wine strips the trailing newline of both, and reads the serial as hexadecimal.
  labelFile_ = label_ + "\n";
  char serial[16];
  std::snprintf(serial, sizeof serial, "%08x\n", serial_);
  serialFile_ = serial;
}

const DiscFileSystem::Node* DiscFileSystem::NodeOf(std::uint64_t inode) const {
  if (inode == kRootInode) return &nodes_[0];
  if (inode >= kFirstEntryInode && inode - kFirstEntryInode + 1 < nodes_.size())
    return &nodes_[inode - kFirstEntryInode + 1];
  return nullptr;
}

FileAttributes DiscFileSystem::AttributesOf(std::uint32_t index) const {
  const Node& node = nodes_[index];
  FileAttributes attributes;
  attributes.inode = index == 0 ? kRootInode : index - 1 + kFirstEntryInode;
  attributes.isDirectory = node.isDirectory;
  attributes.size = node.size;
  attributes.time = node.time;
  attributes.links = node.isDirectory ? 2 + node.subfolders : 1;
  return attributes;
}

int DiscFileSystem::Attributes(std::uint64_t inode, FileAttributes& out) const {
  if (inode == kLabelFileInode || inode == kSerialFileInode) {
    out = FileAttributes{};
    out.inode = inode;
    out.size = (inode == kLabelFileInode ? labelFile_ : serialFile_).size();
    out.time = nodes_[0].time;
    return 0;
  }
  const Node* node = NodeOf(inode);
  if (node == nullptr) return ENOENT;
  out = AttributesOf(static_cast<std::uint32_t>(node - nodes_.data()));
  return 0;
}

int DiscFileSystem::Lookup(std::uint64_t folder, std::string_view name, FileAttributes& out) const {
  const Node* node = NodeOf(folder);
  if (node == nullptr) return ENOENT;
  if (!node->isDirectory) return ENOTDIR;
  if (name == ".") return Attributes(folder, out);
  if (name == "..") {
    out = AttributesOf(node->parent);
    return 0;
  }
  if (node == &nodes_[0] && name == kLabelFileName) return Attributes(kLabelFileInode, out);
  if (node == &nodes_[0] && name == kSerialFileName) return Attributes(kSerialFileInode, out);
  const auto first = children_.begin() + node->firstChild;
  const auto last = first + node->childCount;
  const auto found = std::lower_bound(
      first, last, name,
      [&](std::uint32_t child, std::string_view wanted) { return nodes_[child].name < wanted; });
  if (found == last || nodes_[*found].name != name) return ENOENT;
  out = AttributesOf(*found);
  return 0;
}

int DiscFileSystem::ListFolder(std::uint64_t folder, std::uint64_t first, std::size_t limit,
                               std::vector<DirectoryEntry>& out) const {
  out.clear();
  const Node* node = NodeOf(folder);
  if (node == nullptr) return ENOENT;
  if (!node->isDirectory) return ENOTDIR;
  const DirectoryEntry special[] = {
      {".", folder, true},
      {"..", AttributesOf(node->parent).inode, true},
      {kLabelFileName, kLabelFileInode, false},
      {kSerialFileName, kSerialFileInode, false},
  };
  // The label files are in the root only.
  const std::uint64_t specialCount = node == &nodes_[0] ? 4 : 2;
  for (std::uint64_t position = first; position < specialCount && out.size() < limit; ++position)
    out.push_back(special[position]);
  for (std::uint64_t i = first > specialCount ? first - specialCount : 0;
       i < node->childCount && out.size() < limit; ++i) {
    const std::uint32_t child = children_[node->firstChild + i];
    out.push_back({nodes_[child].name, AttributesOf(child).inode, nodes_[child].isDirectory});
  }
  return 0;
}

int DiscFileSystem::Read(std::uint64_t inode, std::uint64_t offset, std::size_t size,
                         std::vector<std::uint8_t>& out) const {
  out.clear();
  if (inode == kLabelFileInode || inode == kSerialFileInode) {
    const std::string& text = inode == kLabelFileInode ? labelFile_ : serialFile_;
    if (offset < text.size())
      out.assign(text.begin() + static_cast<std::ptrdiff_t>(offset),
                 text.begin() + static_cast<std::ptrdiff_t>(std::min(text.size(), offset + size)));
    return 0;
  }
  const Node* node = NodeOf(inode);
  if (node == nullptr) return ENOENT;
  if (node->isDirectory) return EISDIR;
  if (offset >= node->size) return 0;
  const std::uint64_t length = std::min<std::uint64_t>({size, kMaxReadBytes, node->size - offset});
  if (length == 0) return 0;
  const std::uint64_t firstSector = offset / kSectorBytes;
  const std::uint64_t sectors = (offset + length - 1) / kSectorBytes - firstSector + 1;
  out.resize(sectors * kSectorBytes);
  if (!source_.ReadSectors(static_cast<std::uint32_t>(node->extent + firstSector),
                           static_cast<std::uint32_t>(sectors), out.data()))
    return EIO;
  out.erase(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(offset % kSectorBytes));
  out.resize(length);
  return 0;
}
