#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/PlatformError.h"
#include "platform/ResourceStore.h"

namespace patcher::testing {

// Packed resources held in memory; counts how many loaded ones are still held.
class MemoryResourceStore final : public ResourceStore {
  public:
    void Add(const std::string& name, std::vector<std::uint8_t> bytes) { resources_[name] = std::move(bytes); }
    void Remove(const std::string& name) { resources_.erase(name); }
    int Held() const { return held_; }

    std::unique_ptr<LoadedResource> Load(ByteStringView name) override {
        const auto found = resources_.find(std::string(name));
        if (found == resources_.end()) {
            throw PlatformError("no resource " + std::string(name), 1813);
        }
        return std::make_unique<Resource>(*this, found->second);
    }

  private:
    class Resource final : public LoadedResource {
      public:
        Resource(MemoryResourceStore& owner, const std::vector<std::uint8_t>& bytes) : owner_(owner), bytes_(bytes) {
            ++owner_.held_;
        }
        ~Resource() override { --owner_.held_; }
        std::span<const std::uint8_t> Bytes() const override { return bytes_; }

      private:
        MemoryResourceStore& owner_;
        const std::vector<std::uint8_t>& bytes_;
    };

    std::map<std::string, std::vector<std::uint8_t>> resources_;
    int held_ = 0;
};

}  // namespace patcher::testing
