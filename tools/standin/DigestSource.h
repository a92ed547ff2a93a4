#pragma once

#include <string>

#include "tools/standin/StandinGenerator.h"

namespace patcher::standin {

// The C++ source of engine/ContentDigests.cpp: size and CRC-32 of every file's new content, which is the
// newest stand-in build of that file.
std::string RenderDigestSource(StandinBuilds& builds);

}  // namespace patcher::standin
