#pragma once
// The prefix's drive letters. A letter is given to a mount point through Wine's mount manager (a
// small Windows helper run under Wine), so that Windows programs see a CD-ROM drive at once, also
// while Wine's server keeps running; the mount manager writes the dosdevices link and the drive
// type in the registry itself.
#include <string>

#include "drive/locations.h"

// Raises EDriveFailure naming the Debian package when `wine` is not on PATH.
void RequireWine();

// The letter for the device: the one it had (kept while that letter is free or still its own),
// else a letter whose link already leads to its mount point, else the first free one from D:.
// Raises EDriveFailure when every letter from D: to Z: is taken.
char ChooseDriveLetter(const TDriveLocations& where, int device, char remembered);

// The letter whose dosdevices link leads to the device's mount point, or 0.
char LetterOfDevice(const TDriveLocations& where, int device);

// Makes the letter a CD-ROM drive of the folder. Raises EDriveFailure with Wine's words.
void DefineCdromDrive(const TDriveLocations& where, char letter, const std::string& folder);
// Takes the letter away. Without Wine, the link is removed if it leads to the folder.
void RemoveDrive(const TDriveLocations& where, char letter, const std::string& folder);
