#include "engine/SignatureTables.h"

namespace patcher {

const SignatureTable* FindSignatureTable(int, int) {
    return nullptr;
}

}  // namespace patcher
