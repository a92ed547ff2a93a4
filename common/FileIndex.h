#pragma once

namespace patcher {

// File indices run 1..12: each selects the same row of the FileTable, of SelectedFiles, and of every table
// kept per product file (sizes, newest versions, signatures, packed resources, digests).
inline constexpr int kFileCount = 12;

}  // namespace patcher
