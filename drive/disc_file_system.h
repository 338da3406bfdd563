#pragma once
// The read side of the drive (being written): the image's tree as Wine walks it.
class DiscFileSystem {};
