#pragma once

#include <string>
#include <vector>

#include "tools/standin/SignaturePicker.h"
#include "tools/standin/StandinGenerator.h"

namespace patcher::standin {

// The tables of the stand-in builds, with the leading samples of the family's published tables.
std::vector<PickedTable> PickStandinTables(StandinBuilds& builds);

// The C++ source of engine/SignatureTables.cpp for these tables.
std::string RenderSignatureSource(const std::vector<PickedTable>& tables);

}  // namespace patcher::standin
