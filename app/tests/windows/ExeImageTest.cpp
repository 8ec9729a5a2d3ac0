// The built GT3ErrLog.exe as a file, and the process's DLL search after the
// program's start-up. The program may run as administrator from a Downloads
// folder, so nothing may be loaded from the folder it sits in; and a rebuild of
// the same sources must be the same file, so that a download can be checked.

#include <windows.h>
#include <imagehlp.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "app/DllSearch_win32.h"
#include "app/tests/windows/ShippedExe.h"

namespace {

// The image as stored: the headers found through e_lfanew, addresses (RVAs)
// turned into file offsets through the section table. Every read is bounded;
// what lies outside the file reads as nothing.
class PeFile {
public:
    explicit PeFile(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        bytes_.assign(std::istreambuf_iterator<char>(in), {});
        const auto dos = Read<IMAGE_DOS_HEADER>(0);
        if (!dos || dos->e_magic != IMAGE_DOS_SIGNATURE) return;
        headers_ = Read<IMAGE_NT_HEADERS32>(static_cast<std::uint32_t>(dos->e_lfanew));
        if (headers_ && (headers_->Signature != IMAGE_NT_SIGNATURE ||
                         headers_->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC))
            headers_.reset();
        if (!headers_) return;
        const std::size_t table = dos->e_lfanew + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) +
                                  headers_->FileHeader.SizeOfOptionalHeader;
        for (WORD i = 0; i < headers_->FileHeader.NumberOfSections; ++i)
            if (auto section = Read<IMAGE_SECTION_HEADER>(table + i * sizeof(IMAGE_SECTION_HEADER)))
                sections_.push_back(*section);
    }

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    const std::optional<IMAGE_NT_HEADERS32>& headers() const { return headers_; }

    template <class T>
    std::optional<T> Read(std::size_t offset) const {
        if (offset > bytes_.size() || bytes_.size() - offset < sizeof(T)) return std::nullopt;
        T value;
        std::memcpy(&value, bytes_.data() + offset, sizeof value);
        return value;
    }

    template <class T>
    std::optional<T> ReadAt(DWORD rva) const {
        const auto offset = Offset(rva);
        return offset ? Read<T>(*offset) : std::nullopt;
    }

    // The names of the DLLs the import table names, lower case.
    std::vector<std::string> ImportedDlls() const {
        std::vector<std::string> names;
        const DWORD table = headers_ ? headers_->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress : 0;
        for (DWORD at = table; table != 0; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
            const auto entry = ReadAt<IMAGE_IMPORT_DESCRIPTOR>(at);
            if (!entry || entry->Name == 0) break;
            names.push_back(TextAt(entry->Name));
        }
        return names;
    }

private:
    std::optional<std::size_t> Offset(DWORD rva) const {
        for (const auto& s : sections_)
            if (rva >= s.VirtualAddress && rva - s.VirtualAddress < s.SizeOfRawData)
                return std::size_t{s.PointerToRawData} + (rva - s.VirtualAddress);
        return std::nullopt;
    }

    std::string TextAt(DWORD rva) const {
        std::string text;
        for (auto offset = Offset(rva); offset && *offset < bytes_.size() && bytes_[*offset] != 0; ++*offset)
            text.push_back(static_cast<char>(std::tolower(bytes_[*offset])));
        return text;
    }

    std::vector<std::uint8_t> bytes_;
    std::optional<IMAGE_NT_HEADERS32> headers_;
    std::vector<IMAGE_SECTION_HEADER> sections_;
};

class ExeImageTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(exe_.headers()) << "GT3ErrLog.exe is missing or no 32-bit PE image"; }

    const PeFile exe_{gt3::test::ProgramPath()};
};

// Windows takes these from System32 whatever the search order (its KnownDLLs);
// the common controls come side by side, through the manifest.
TEST_F(ExeImageTest, ImportsOnlyDllsWindowsNeverSeeksBesideTheExe) {
    const std::vector<std::string> allowed{"advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll",
                                           "imm32.dll",    "kernel32.dll", "msvcrt.dll",   "ole32.dll",
                                           "oleaut32.dll", "shell32.dll",  "shlwapi.dll",  "user32.dll"};
    const auto imports = exe_.ImportedDlls();
    EXPECT_FALSE(imports.empty());
    for (const auto& name : imports)
        EXPECT_NE(std::find(allowed.begin(), allowed.end(), name), allowed.end()) << name << " may be planted beside the exe";
}

TEST_F(ExeImageTest, KeepsAslrAndDep) {
    constexpr WORD kRequired = IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE | IMAGE_DLLCHARACTERISTICS_NX_COMPAT;
    EXPECT_EQ(exe_.headers()->OptionalHeader.DllCharacteristics & kRequired, kRequired);
}

// The load configuration's DependentLoadFlags ask Windows (10 1607 and later)
// to resolve the exe's statically linked imports from System32 only.
TEST_F(ExeImageTest, StaticImportsAreResolvedFromSystem32) {
    constexpr DWORD kDependentLoadFlagsAt = 54;  // in the PE format's 32-bit load configuration
    const auto& directory = exe_.headers()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG];
    ASSERT_NE(directory.VirtualAddress, 0u) << "no load configuration in the header's directory";
    const auto size = exe_.ReadAt<DWORD>(directory.VirtualAddress);
    ASSERT_TRUE(size);
    EXPECT_GE(*size, kDependentLoadFlagsAt + sizeof(WORD));
    EXPECT_EQ(exe_.ReadAt<WORD>(directory.VirtualAddress + kDependentLoadFlagsAt), WORD{LOAD_LIBRARY_SEARCH_SYSTEM32});
}

// A link timestamp would make every build a different file. (Microsoft's
// linker with /Brepro writes a hash of the content there instead of zero.)
TEST_F(ExeImageTest, CarriesNoLinkTimestampAndAValidChecksum) {
#ifndef _MSC_VER
    EXPECT_EQ(exe_.headers()->FileHeader.TimeDateStamp, 0u);
#endif
    // The header was patched after the link: its checksum must still match.
    DWORD stored = 0, computed = 0;
    auto bytes = exe_.bytes();
    ASSERT_NE(CheckSumMappedFile(bytes.data(), static_cast<DWORD>(bytes.size()), &stored, &computed), nullptr);
    EXPECT_EQ(stored, computed);
}

// After the program's start-up, a DLL loaded by bare name comes from System32
// only: one that exists only beside the running exe is not found, a system one
// still is. (Wine's own user32 imports version.dll, so a planted version.dll
// would still be pulled in under Wine by the system; this tests what the
// program controls.)
TEST(DllSearchTest, ADllBesideTheProgramIsNotFoundAfterStartUp) {
    constexpr wchar_t kBesideExe[] = L"gt3_beside_exe.dll";
    HMODULE before = LoadLibraryW(kBesideExe);
    ASSERT_NE(before, nullptr) << "the DLL beside the test exe is missing: the case below would prove nothing";
    FreeLibrary(before);

    ASSERT_TRUE(gt3::app::LoadDllsFromSystem32Only());

    SetLastError(0);
    EXPECT_EQ(LoadLibraryW(kBesideExe), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    HMODULE system = LoadLibraryW(L"version.dll");
    EXPECT_NE(system, nullptr);
    if (system) FreeLibrary(system);
}

}  // namespace
