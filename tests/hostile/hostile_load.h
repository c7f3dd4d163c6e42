// One load of one file through one part of the program, for the hostile-file
// set: hostile_load.cpp measures it, the edition files supply their paths.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Loads the file and says what came of it: "loaded W x H", or "refused: "
// and the message the person would read. An exception counts as refused.
using THostileLoad = std::function<std::string(const std::string& File)>;

// The outcome of a load that made a picture of Width x Height.
std::string Loaded(int32_t Width, int32_t Height);

// The load of Path made ready (the library or the edition started), or an
// empty function when this program does not have Path.
THostileLoad PrepareEditionLoad(const std::string& Path);
