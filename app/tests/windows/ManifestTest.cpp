// Every exe of the build, read as Windows reads it before starting it: one
// manifest, resource 1, asking for highestAvailable in GT3ErrLog.exe alone and
// asInvoker everywhere else, so that an unelevated test run on a machine with UAC
// starts every test program. programs.txt (written by cmake/Manifests.cmake)
// lists them beside this program.

#include <windows.h>
#include <shlwapi.h>
#include <xmllite.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/tests/windows/ShippedExe.h"

namespace gt3::app {
namespace {

const auto kManifest = MAKEINTRESOURCEW(24);  // RT_MANIFEST, wide

std::wstring OwnFolder() {
    std::wstring path(MAX_PATH, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

BOOL CALLBACK CountName(HMODULE, LPCWSTR, LPWSTR, LONG_PTR count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

// The manifests an exe carries: their number, and the text of resource 1.
struct Manifests {
    int count = 0;
    std::string first;
};

Manifests ReadManifests(const std::wstring& exe) {
    Manifests found;
    HMODULE image = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!image) return found;
    EnumResourceNamesW(image, kManifest, CountName, reinterpret_cast<LONG_PTR>(&found.count));
    if (HRSRC resource = FindResourceW(image, MAKEINTRESOURCEW(1), kManifest))
        found.first.assign(static_cast<const char*>(LockResource(LoadResource(image, resource))),
                           SizeofResource(image, resource));
    FreeLibrary(image);
    return found;
}

TEST(Manifests, EveryProgramAsksForItsOwnLevelAndOnlyGT3ErrLogForMore) {
    std::ifstream list(std::filesystem::path(OwnFolder() + L"programs.txt"));
    ASSERT_TRUE(list) << "programs.txt is missing beside the test program";
    std::string path, level;
    std::vector<std::string> seen;
    while (list >> path >> level) {
        SCOPED_TRACE(path);
        seen.push_back(path.substr(path.find_last_of('/') + 1) + " " + level);
        const std::wstring exe = gt3::test::WindowsPath(OwnFolder() + std::wstring(path.begin(), path.end()));
        const Manifests manifests = ReadManifests(exe);
        EXPECT_EQ(manifests.count, 1) << "a second manifest (a linker's own?) or none";
        EXPECT_NE(manifests.first.find("<requestedExecutionLevel level=\"" + level + "\""), std::string::npos)
            << manifests.first;
        EXPECT_EQ(level == "highestAvailable", path.ends_with("GT3ErrLog.exe"));
    }
    EXPECT_NE(std::find(seen.begin(), seen.end(), "GT3ErrLog.exe highestAvailable"), seen.end());
    EXPECT_NE(std::find(seen.begin(), seen.end(), "app_windows_tests.exe asInvoker"), seen.end());
}

// A manifest as an XML parser reads it: the text and the attributes of each
// element, under its path of namespace-qualified names ("{namespace}name/..."),
// one entry per occurrence. Empty when the text is not well-formed XML.
struct ParsedXml {
    struct Element {
        std::wstring text;
        std::map<std::wstring, std::wstring> attributes;
    };
    std::multimap<std::wstring, Element> elements;
    bool wellFormed = false;

    std::vector<const Element*> At(const std::wstring& path) const {
        std::vector<const Element*> found;
        for (auto [at, end] = elements.equal_range(path); at != end; ++at) found.push_back(&at->second);
        return found;
    }
};

template <typename Interface>
struct Released {
    void operator()(Interface* p) const { p->Release(); }
};

// Through XmlLite, which Windows has carried since Vista (and Wine too); looked
// up at run time, since MinGW-w64 ships no import library for it.
ParsedXml ParseXml(const std::string& text) {
    ParsedXml parsed;
    using CreateXmlReaderFn = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);
    static const HMODULE xmllite = LoadLibraryExW(L"xmllite.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    const auto create = xmllite ? reinterpret_cast<CreateXmlReaderFn>(
                                      reinterpret_cast<void*>(GetProcAddress(xmllite, "CreateXmlReader")))
                                : nullptr;
    constexpr IID kIXmlReader{0x7279fc81, 0x709d, 0x4095, {0xb6, 0x3d, 0x69, 0xfe, 0x4b, 0x0d, 0x90, 0x30}};
    IXmlReader* rawReader = nullptr;
    if (!create || FAILED(create(kIXmlReader, reinterpret_cast<void**>(&rawReader), nullptr))) return parsed;
    const std::unique_ptr<IXmlReader, Released<IXmlReader>> reader(rawReader);
    const std::unique_ptr<IStream, Released<IStream>> stream(
        SHCreateMemStream(reinterpret_cast<const BYTE*>(text.data()), static_cast<UINT>(text.size())));
    if (!stream || FAILED(reader->SetInput(stream.get()))) return parsed;

    auto value = [](auto get) {
        const WCHAR* chars = nullptr;
        UINT length = 0;
        return SUCCEEDED(get(&chars, &length)) && chars ? std::wstring(chars, length) : std::wstring();
    };
    std::vector<std::multimap<std::wstring, ParsedXml::Element>::iterator> open;
    XmlNodeType node{};
    HRESULT hr = S_OK;
    while ((hr = reader->Read(&node)) == S_OK) {
        if (node == XmlNodeType_Element) {
            const std::wstring name = L"{" + value([&](auto c, auto l) { return reader->GetNamespaceUri(c, l); }) +
                                      L"}" + value([&](auto c, auto l) { return reader->GetLocalName(c, l); });
            const bool empty = reader->IsEmptyElement();
            const auto element = parsed.elements.emplace(open.empty() ? name : open.back()->first + L"/" + name,
                                                         ParsedXml::Element{});
            for (HRESULT more = reader->MoveToFirstAttribute(); more == S_OK; more = reader->MoveToNextAttribute()) {
                if (reader->IsDefault()) continue;
                element->second.attributes[value([&](auto c, auto l) { return reader->GetLocalName(c, l); })] =
                    value([&](auto c, auto l) { return reader->GetValue(c, l); });
            }
            if (!empty) open.push_back(element);
        } else if (node == XmlNodeType_EndElement && !open.empty()) {
            open.pop_back();
        } else if ((node == XmlNodeType_Text || node == XmlNodeType_CDATA) && !open.empty()) {
            open.back()->second.text += value([&](auto c, auto l) { return reader->GetValue(c, l); });
        }
    }
    parsed.wellFormed = hr == S_FALSE && open.empty();
    return parsed;
}

// Every exe tells Windows which versions it was made for (else Windows 8.1 and
// later treat it as a program of an older Windows, and report that version to
// it) and how it handles the DPI: PerMonitorV2, falling back to PerMonitor on
// Windows 10 1607, which knows no V2 and reads dpiAwareness alone; dpiAware
// for Windows 8.1 and earlier.
TEST(Manifests, EveryProgramNamesTheWindowsItSupportsAndItsDpiModes) {
    const std::wstring assembly = L"{urn:schemas-microsoft-com:asm.v1}assembly";
    const std::wstring compatibility = L"{urn:schemas-microsoft-com:compatibility.v1}";
    const std::wstring settings = assembly + L"/{urn:schemas-microsoft-com:asm.v3}application" +
                                  L"/{urn:schemas-microsoft-com:asm.v3}windowsSettings";
    const std::set<std::wstring> windows7To11 = {
        L"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // 7
        L"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // 8
        L"{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // 8.1
        L"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // 10 and 11
    };
    std::ifstream list(std::filesystem::path(OwnFolder() + L"programs.txt"));
    ASSERT_TRUE(list) << "programs.txt is missing beside the test program";
    std::string path, level;
    int programs = 0;
    while (list >> path >> level) {
        SCOPED_TRACE(path);
        ++programs;
        const ParsedXml xml = ParseXml(ReadManifests(OwnFolder() + std::wstring(path.begin(), path.end())).first);
        ASSERT_TRUE(xml.wellFormed);

        std::set<std::wstring> supported;
        for (const auto* os : xml.At(assembly + L"/" + compatibility + L"compatibility/" + compatibility +
                                     L"application/" + compatibility + L"supportedOS"))
            supported.insert(os->attributes.count(L"Id") ? os->attributes.at(L"Id") : L"(no Id)");
        EXPECT_EQ(supported, windows7To11);

        const auto dpiAware = xml.At(settings + L"/{http://schemas.microsoft.com/SMI/2005/WindowsSettings}dpiAware");
        ASSERT_EQ(dpiAware.size(), 1u);
        EXPECT_EQ(dpiAware[0]->text, L"true/pm");
        const auto dpiAwareness =
            xml.At(settings + L"/{http://schemas.microsoft.com/SMI/2016/WindowsSettings}dpiAwareness");
        ASSERT_EQ(dpiAwareness.size(), 1u);
        EXPECT_EQ(dpiAwareness[0]->text, L"PerMonitorV2, PerMonitor");
    }
    EXPECT_GT(programs, 1);
}

}  // namespace
}  // namespace gt3::app
