// The library exports exactly the TP_ names (and TP_SetMessageCallback, TP_GetStatistics,
// TP_GetFilterGraph), with C linkage, and nothing of its C++ insides.

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <elf.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "TarvoPlayLib.h"

extern "C" int TpCHeaderProbe(void);

namespace {

const std::set<std::string> kExpected = {
    "TP_AddBitmapOverlay",
    "TP_AddCircleOverlay",
    "TP_AddEllipseOverlay",
    "TP_AddOverlaysFromByte",
    "TP_AddOverlaysFromFile",
    "TP_AddPolygonOverlay",
    "TP_AddRectangleOverlay",
    "TP_AddSysTimeOverlay",
    "TP_AddTextOverlay",
    "TP_DownloadByTime",
    "TP_Exit",
    "TP_GetColor",
    "TP_GetDownloadPosition",
    "TP_GetItemsByIndex",
    "TP_GetLastError",
    "TP_GetReduceLevel",
    "TP_GetVersions",
    "TP_GrabPicture",
    "TP_Init",
    "TP_Initialize",
    "TP_InputData",
    "TP_Login",
    "TP_Logout",
    "TP_OpenLocalFile",
    "TP_OpenPeriod",
    "TP_OpenRemoteFile",
    "TP_OpenStream",
    "TP_PlayControl",
    "TP_ReSize",
    "TP_RemoveAllOverlay",
    "TP_RemoveOverlay",
    "TP_SetColor",
    "TP_SetFlickerTime",
    "TP_SetFullScreenMode",
    "TP_SetLoginHandle",
    "TP_SetReduceLevel",
    "TP_SetYUVFrameCallBack",
    "TP_StartRecord",
    "TP_StopDownload",
    "TP_StopRecord",
    "TP_Uninitialize",
    "TP_VideoCutControl",
    // Added on this platform: delivery of the window's messages.
    "TP_SetMessageCallback",
    // Added on this platform: the statistics text the player control reads.
    "TP_GetStatistics",
    // Added on this platform: the filter graph, for the filters' property pages.
    "TP_GetFilterGraph",
};

// Names of the defined global and weak symbols in the file's dynamic symbol table.
std::set<std::string> DefinedDynamicSymbols(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::set<std::string> names;
    if (file.size() < sizeof(Elf64_Ehdr))
        return names;
    const auto* ehdr = reinterpret_cast<const Elf64_Ehdr*>(file.data());
    if (ehdr->e_ident[EI_CLASS] != ELFCLASS64 ||
        ehdr->e_shoff + ehdr->e_shnum * sizeof(Elf64_Shdr) > file.size())
        return names;
    const auto* sections = reinterpret_cast<const Elf64_Shdr*>(file.data() + ehdr->e_shoff);
    for (int i = 0; i < ehdr->e_shnum; ++i) {
        if (sections[i].sh_type != SHT_DYNSYM)
            continue;
        const Elf64_Shdr& strtab = sections[sections[i].sh_link];
        const auto* syms = reinterpret_cast<const Elf64_Sym*>(file.data() + sections[i].sh_offset);
        size_t count = sections[i].sh_size / sizeof(Elf64_Sym);
        for (size_t s = 0; s < count; ++s) {
            int bind = ELF64_ST_BIND(syms[s].st_info);
            if (syms[s].st_shndx == SHN_UNDEF || (bind != STB_GLOBAL && bind != STB_WEAK))
                continue;
            names.insert(file.data() + strtab.sh_offset + syms[s].st_name);
        }
    }
    return names;
}

TEST(PlayerExports, ExactlyTheTpNames)
{
    std::set<std::string> exported = DefinedDynamicSymbols(TARVO_PLAYLIB_FILE);
    EXPECT_EQ(exported, kExpected);
    EXPECT_EQ(kExpected.size(), 45u);
}

TEST(PlayerExports, ResolvableByNameAndLogoutIsLogin)
{
    void* lib = dlopen(TARVO_PLAYLIB_FILE, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(lib, nullptr) << dlerror();
    for (const std::string& name : kExpected)
        EXPECT_NE(dlsym(lib, name.c_str()), nullptr) << name;
    EXPECT_EQ(dlsym(lib, "TP_Logout"), dlsym(lib, "TP_Login"));
    // C++ insides stay inside.
    EXPECT_EQ(dlsym(lib, "_ZN11CPlayerBaseD2Ev"), nullptr);
    EXPECT_EQ(dlsym(lib, "_Z14TpSetLastErrori"), nullptr);
    dlclose(lib);
}

TEST(PlayerExports, ChiefHeaderCompilesAsC)
{
    EXPECT_EQ(TpCHeaderProbe(), 2);
}

} // namespace
