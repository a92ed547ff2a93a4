#include "tools/pe/ResourceSection.h"

#include <algorithm>
#include <map>
#include <stdexcept>
#include <string>

#include "tools/pe/LittleEndian.h"
#include "tools/pe/PeFormat.h"

namespace patcher::pe {
namespace {

struct NameNode {
    const ResourceId* Name;
    std::vector<std::size_t> Resources;  // one per language, by index into the resources
};

struct TypeNode {
    const ResourceId* Type;
    std::vector<NameNode> Names;
};

std::vector<TypeNode> Tree(std::span<const ResourceView> resources) {
    std::vector<TypeNode> types;
    for (std::size_t i = 0; i < resources.size(); ++i) {
        const ResourceView& resource = resources[i];
        if (types.empty() || *types.back().Type != *resource.Type) {
            types.push_back({resource.Type, {}});
        }
        std::vector<NameNode>& names = types.back().Names;
        if (names.empty() || *names.back().Name != *resource.Name) {
            names.push_back({resource.Name, {}});
        }
        names.back().Resources.push_back(i);
    }
    return types;
}

std::size_t TableSize(std::size_t entries) {
    return resources::kTableSize + entries * resources::kEntrySize;
}

// A directory table's header and the counts of its named and numbered entries.
template <typename Node, typename IdOf>
void StoreTable(std::vector<std::uint8_t>& out, std::size_t at, const std::vector<Node>& entries, IdOf id) {
    const auto named = static_cast<std::size_t>(
        std::count_if(entries.begin(), entries.end(), [&](const Node& node) { return id(node).IsName(); }));
    Store16(out, at + resources::kTableNumberOfNameEntries, static_cast<std::uint32_t>(named));
    Store16(out, at + resources::kTableNumberOfIdEntries, static_cast<std::uint32_t>(entries.size() - named));
}

}  // namespace

std::vector<std::uint8_t> BuildResourceSection(std::span<const ResourceView> resources, std::uint32_t rva) {
    const std::vector<TypeNode> types = Tree(resources);

    // The tables, breadth first: the root, every type's, every name's.
    std::size_t end = TableSize(types.size());
    std::vector<std::size_t> typeTables;
    std::vector<std::size_t> nameTables;
    for (const TypeNode& type : types) {
        typeTables.push_back(end);
        end += TableSize(type.Names.size());
    }
    for (const TypeNode& type : types) {
        for (const NameNode& name : type.Names) {
            nameTables.push_back(end);
            end += TableSize(name.Resources.size());
        }
    }
    // The names, each once.
    std::map<std::u16string, std::size_t> names;
    const auto placeName = [&](const ResourceId& id) {
        if (id.IsName() && names.emplace(id.Name, end).second) {
            end += 2 + 2 * id.Name.size();
        }
    };
    for (const TypeNode& type : types) {
        placeName(*type.Type);
        for (const NameNode& name : type.Names) {
            placeName(*name.Name);
        }
    }
    // The data entries, then the data.
    const std::size_t dataEntries = AlignUp<std::size_t>(end, 4);
    end = dataEntries + resources.size() * resources::kDataEntrySize;
    std::vector<std::size_t> data;
    std::uint64_t dataEnd = end;  // 64 bits, so that no sum wraps where a size_t has 32
    for (const ResourceView& resource : resources) {
        dataEnd = AlignUp<std::uint64_t>(dataEnd, 8);
        if (dataEnd + resource.Bytes.size() > UINT32_MAX - rva) {
            throw std::invalid_argument("resources larger than an image can hold");
        }
        data.push_back(static_cast<std::size_t>(dataEnd));
        dataEnd += resource.Bytes.size();
    }

    std::vector<std::uint8_t> out(static_cast<std::size_t>(dataEnd), 0);
    const auto idField = [&](const ResourceId& id) {
        return id.IsName() ? resources::kNameIsString | static_cast<std::uint32_t>(names.at(id.Name)) : id.Number;
    };
    const auto storeEntry = [&](std::size_t table, std::size_t index, std::uint32_t id, std::uint32_t offset) {
        const std::size_t at = table + resources::kTableSize + index * resources::kEntrySize;
        Store32(out, at + resources::kEntryNameOrId, id);
        Store32(out, at + resources::kEntryOffset, offset);
    };
    const auto directory = [](std::size_t at) {
        return resources::kOffsetIsDirectory | static_cast<std::uint32_t>(at);
    };

    StoreTable(out, 0, types, [](const TypeNode& node) -> const ResourceId& { return *node.Type; });
    std::size_t nameIndex = 0;
    for (std::size_t t = 0; t < types.size(); ++t) {
        storeEntry(0, t, idField(*types[t].Type), directory(typeTables[t]));
        StoreTable(out, typeTables[t], types[t].Names,
                   [](const NameNode& node) -> const ResourceId& { return *node.Name; });
        for (std::size_t n = 0; n < types[t].Names.size(); ++n, ++nameIndex) {
            const NameNode& name = types[t].Names[n];
            storeEntry(typeTables[t], n, idField(*name.Name), directory(nameTables[nameIndex]));
            Store16(out, nameTables[nameIndex] + resources::kTableNumberOfIdEntries,
                    static_cast<std::uint32_t>(name.Resources.size()));
            for (std::size_t l = 0; l < name.Resources.size(); ++l) {
                const std::size_t index = name.Resources[l];
                storeEntry(nameTables[nameIndex], l, resources[index].Language,
                           static_cast<std::uint32_t>(dataEntries + index * resources::kDataEntrySize));
            }
        }
    }
    for (const auto& [name, at] : names) {
        Store16(out, at, static_cast<std::uint32_t>(name.size()));
        for (std::size_t i = 0; i < name.size(); ++i) {
            Store16(out, at + 2 + 2 * i, name[i]);
        }
    }
    for (std::size_t i = 0; i < resources.size(); ++i) {
        const std::size_t entry = dataEntries + i * resources::kDataEntrySize;
        Store32(out, entry + resources::kDataRva, rva + static_cast<std::uint32_t>(data[i]));
        Store32(out, entry + resources::kDataSize, static_cast<std::uint32_t>(resources[i].Bytes.size()));
        std::copy(resources[i].Bytes.begin(), resources[i].Bytes.end(),
                  out.begin() + static_cast<std::ptrdiff_t>(data[i]));
    }
    return out;
}

}  // namespace patcher::pe
