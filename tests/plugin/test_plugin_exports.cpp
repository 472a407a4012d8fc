// The plug-in's dynamic symbol table, read from the built file: the four entry points are the
// only names it defines for others.
#include <elf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

struct DynamicSymbol {
    std::string name;
    bool defined;
    unsigned type;
};

std::vector<DynamicSymbol> readDynamicSymbols(const std::string &file) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
    std::vector<DynamicSymbol> symbols;
    auto fits = [&](uint64_t offset, uint64_t size) {
        return offset <= bytes.size() && size <= bytes.size() - offset;
    };
    Elf64_Ehdr header;
    if (!fits(0, sizeof header))
        return symbols;
    std::memcpy(&header, bytes.data(), sizeof header);
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64)
        return symbols;
    auto section = [&](unsigned index) {
        Elf64_Shdr s{};
        const uint64_t at = header.e_shoff + uint64_t{index} * header.e_shentsize;
        if (index < header.e_shnum && fits(at, sizeof s))
            std::memcpy(&s, bytes.data() + at, sizeof s);
        return s;
    };
    for (unsigned i = 0; i < header.e_shnum; ++i) {
        const Elf64_Shdr dynsym = section(i);
        if (dynsym.sh_type != SHT_DYNSYM)
            continue;
        const Elf64_Shdr strtab = section(dynsym.sh_link);
        if (!fits(dynsym.sh_offset, dynsym.sh_size) || !fits(strtab.sh_offset, strtab.sh_size))
            return symbols;
        for (uint64_t at = 0; at + sizeof(Elf64_Sym) <= dynsym.sh_size; at += sizeof(Elf64_Sym)) {
            Elf64_Sym sym;
            std::memcpy(&sym, bytes.data() + dynsym.sh_offset + at, sizeof sym);
            if (sym.st_name == 0 || sym.st_name >= strtab.sh_size)
                continue;
            const char *name = bytes.data() + strtab.sh_offset + sym.st_name;
            symbols.push_back({std::string(name, strnlen(name, strtab.sh_size - sym.st_name)),
                               sym.st_shndx != SHN_UNDEF,
                               static_cast<unsigned>(ELF64_ST_TYPE(sym.st_info))});
        }
    }
    return symbols;
}

TEST(PluginExports, DefinesExactlyTheFourEntryPoints) {
    const std::vector<DynamicSymbol> symbols = readDynamicSymbols(ZORVIDEO_PLUGIN_PATH);
    // The table was found and read: the plug-in needs Qt's widgets from outside.
    ASSERT_TRUE(std::any_of(symbols.begin(), symbols.end(), [](const DynamicSymbol &s) {
        return !s.defined && s.name.find("QWidget") != std::string::npos;
    }));

    std::set<std::string> defined;
    for (const DynamicSymbol &s : symbols) {
        if (!s.defined)
            continue;
        defined.insert(s.name);
        EXPECT_EQ(s.type, unsigned{STT_FUNC}) << s.name;
    }
    EXPECT_EQ(defined, (std::set<std::string>{"ShowFile", "load", "loadEx", "unload"}));
}

}  // namespace
