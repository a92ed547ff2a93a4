#include <windows.h>

#include "platform/PlatformError.h"
#include "platform/ResourceStore.h"
#include "platform/win32/UniqueHandle.h"

namespace patcher {
namespace {

using win32::UniqueResourceHandle;

class ModuleResource final : public LoadedResource {
  public:
    ModuleResource(UniqueResourceHandle handle, std::span<const std::uint8_t> bytes)
        : handle_(std::move(handle)), bytes_(bytes) {}
    std::span<const std::uint8_t> Bytes() const override { return bytes_; }

  private:
    UniqueResourceHandle handle_;  // released when the bytes are no longer needed
    std::span<const std::uint8_t> bytes_;
};

class ModuleResources final : public ResourceStore {
  public:
    std::unique_ptr<LoadedResource> Load(ByteStringView name) override {
        const HMODULE module = ::GetModuleHandleA(nullptr);
        const ByteString terminated(name);
        const HRSRC found = ::FindResourceA(module, terminated.c_str(), MAKEINTRESOURCEA(10));  // RT_RCDATA
        if (found == nullptr) {
            throw PlatformError("FindResourceA " + terminated, ::GetLastError());
        }
        const DWORD size = ::SizeofResource(module, found);
        if (size == 0) {
            throw PlatformError("SizeofResource " + terminated, ::GetLastError());
        }
        UniqueResourceHandle loaded(::LoadResource(module, found));
        if (!loaded) {
            throw PlatformError("LoadResource " + terminated, ::GetLastError());
        }
        const void* bytes = ::LockResource(loaded.Get());
        if (bytes == nullptr) {
            throw PlatformError("LockResource " + terminated, ::GetLastError());
        }
        return std::make_unique<ModuleResource>(std::move(loaded),
                                                std::span(static_cast<const std::uint8_t*>(bytes), size));
    }
};

}  // namespace

ResourceStore& ProgramResources() {
    static ModuleResources resources;
    return resources;
}

}  // namespace patcher
