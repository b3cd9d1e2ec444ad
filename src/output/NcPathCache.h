#pragma once

#include "NcInterpreter.h"
#include "NcPath.h"

#include <cstdint>
#include <memory>

class CCutDataFile;

// The programs read from file images, so that the toolpath window and the travel check before
// output read a file once: a path is found again for the same image read with the same
// options. The paths are held weakly: a path goes when its last holder (the window that read
// it) lets go, and a file changed under its image is never served from here.
namespace NcPathCache {

// The path read from the file's image with these options, or nothing.
std::shared_ptr<const CNcPath> Find(const CCutDataFile& file, const CNcReadOptions& options);
// Offers a path read from the file's image with these options to later readers of the same
// image; the caller keeps holding it.
void Keep(const CCutDataFile& file, const CNcReadOptions& options,
          const std::shared_ptr<const CNcPath>& path);
// How many Find calls have found a path so far.
int64_t Hits();

} // namespace NcPathCache
