#include "drive/disc_file_system.h"
#include "drive/drive.h"

DiscImage::DiscImage(const std::string& path)
    : fileSystem_(std::make_unique<DiscFileSystem>(path)) {}

DiscImage::~DiscImage() = default;

const std::string& DiscImage::VolumeLabel() const { return fileSystem_->VolumeLabel(); }

std::uint32_t DiscImage::VolumeSerial() const { return fileSystem_->VolumeSerial(); }
