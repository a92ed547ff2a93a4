#pragma once

#include <string>
#include <vector>

#include "tools/standin/SignaturePicker.h"

namespace patcher::standin {

// The C++ source of engine/SignatureTables.cpp for these tables.
std::string RenderSignatureSource(const std::vector<PickedTable>& tables);

}  // namespace patcher::standin
