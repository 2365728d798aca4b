// The resources the program carries, read back from the built executable
// (TAVREL_RESOURCE_EXE, beside this test): the version block, the application
// manifest and the icon group.

#include <gtest/gtest.h>
#include <windows.h>
#include <msxml2.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "res/resource_ids.h"
#include "runtime/com_ptr_win.h"

#ifndef TAVREL_RESOURCE_EXE
#error "TAVREL_RESOURCE_EXE names the executable whose resources are checked"
#endif

namespace tavrel {
namespace {

std::wstring ExecutablePath() {
  wchar_t buffer[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  std::wstring path(buffer, length);
  path.resize(path.rfind(L'\\') + 1);
  std::string name = TAVREL_RESOURCE_EXE;
  return path + std::wstring(name.begin(), name.end());
}

// The executable loaded as data: its resources can be found, nothing runs.
class ResourceFile : public ::testing::Test {
 protected:
  void SetUp() override {
    path = ExecutablePath();
    module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << "cannot load " << TAVREL_RESOURCE_EXE;
  }
  void TearDown() override {
    if (module != nullptr) FreeLibrary(module);
  }

  std::string Resource(LPCWSTR type, LPCWSTR name) {
    HRSRC found = FindResourceW(module, name, type);
    if (found == nullptr) return {};
    HGLOBAL loaded = LoadResource(module, found);
    const char* data = static_cast<const char*>(LockResource(loaded));
    return data ? std::string(data, SizeofResource(module, found)) : std::string();
  }

  std::wstring path;
  HMODULE module = nullptr;
};

// ---------------------------------------------------------------- version

TEST_F(ResourceFile, VersionBlockInChinesePrcUnicode) {
  // The block is in the Chinese (PRC) language.
  EXPECT_NE(FindResourceExW(module, MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1),
                            MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED)),
            nullptr);

  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010002u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000000u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010002u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00000000u);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
  EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
  EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u) << "no debug or pre-release flag";

  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &length));
  ASSERT_EQ(length, 4u) << "exactly one language";
  EXPECT_EQ(translation[0], 0x0804);
  EXPECT_EQ(translation[1], 1200);

  const std::map<std::wstring, std::wstring> expected = {
      {L"CompanyName", L"Tavrel\u79d1\u6280"},
      {L"FileDescription", L"Tavrel\u6821\u65f6"},
      {L"ProductName", L"Tavrel\u6821\u65f6"},
      {L"FileVersion", L"1.2.0.0"},
      {L"ProductVersion", L"1.2.0.0"},
      {L"OriginalFilename", L"tavrel-clock.exe"},
      {L"InternalName", L"tavrel-clock"},
  };
  for (const auto& [name, value] : expected) {
    wchar_t* text = nullptr;
    std::wstring query = L"\\StringFileInfo\\080404b0\\" + name;
    ASSERT_TRUE(VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&text),
                               &length))
        << std::string(name.begin(), name.end());
    EXPECT_TRUE(std::wstring(text) == value) << std::string(name.begin(), name.end());
  }
}

// --------------------------------------------------------------- manifest

// The manifest parsed by the platform's XML reader, asked with XPath.
class Manifest {
 public:
  explicit Manifest(const std::string& text) {
    CLSID clsid;
    IID documentInterface;  // IXMLDOMDocument2
    if (FAILED(CLSIDFromProgID(L"Msxml2.DOMDocument.3.0", &clsid)) ||
        FAILED(IIDFromString(L"{2933BF95-7B36-11D2-B20E-00C04F983E60}", &documentInterface)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, documentInterface,
                                document_.PutVoid()))) {
      return;
    }
    document_->put_async(VARIANT_FALSE);
    int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                     nullptr, 0);
    BSTR xml = SysAllocStringLen(nullptr, static_cast<UINT>(length));
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), xml, length);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    HRESULT result = document_->loadXML(xml, &loaded);
    SysFreeString(xml);
    parsed_ = SUCCEEDED(result) && loaded == VARIANT_TRUE;

    VARIANT namespaces;
    VariantInit(&namespaces);
    namespaces.vt = VT_BSTR;
    namespaces.bstrVal = SysAllocString(
        L"xmlns:v1='urn:schemas-microsoft-com:asm.v1' "
        L"xmlns:v3='urn:schemas-microsoft-com:asm.v3' "
        L"xmlns:c='urn:schemas-microsoft-com:compatibility.v1' "
        L"xmlns:ws='http://schemas.microsoft.com/SMI/2005/WindowsSettings'");
    BSTR language = SysAllocString(L"SelectionLanguage");
    VARIANT xpath;
    VariantInit(&xpath);
    xpath.vt = VT_BSTR;
    xpath.bstrVal = SysAllocString(L"XPath");
    document_->setProperty(language, xpath);
    SysFreeString(language);
    VariantClear(&xpath);
    BSTR selection = SysAllocString(L"SelectionNamespaces");
    document_->setProperty(selection, namespaces);
    SysFreeString(selection);
    VariantClear(&namespaces);
  }

  bool Parsed() const { return parsed_; }

  // How many nodes the expression selects.
  long Count(const wchar_t* expression) {
    ComPtr<IXMLDOMNodeList> nodes;
    BSTR query = SysAllocString(expression);
    HRESULT result = document_->selectNodes(query, nodes.Put());
    SysFreeString(query);
    long count = -1;
    if (SUCCEEDED(result) && nodes) nodes->get_length(&count);
    return count;
  }

 private:
  ComPtr<IXMLDOMDocument2> document_;
  bool parsed_ = false;
};

TEST_F(ResourceFile, ManifestAsksForAdministratorAndDeclaresTheSystems) {
  std::string text = Resource(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1));
  ASSERT_FALSE(text.empty()) << "no RT_MANIFEST resource 1";

  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  {
    Manifest manifest(text);
    ASSERT_TRUE(manifest.Parsed());
    EXPECT_EQ(manifest.Count(L"/v1:assembly[@manifestVersion='1.0']"), 1);
    EXPECT_EQ(manifest.Count(L"/v1:assembly/v3:trustInfo/v3:security/v3:requestedPrivileges/"
                             L"v3:requestedExecutionLevel"),
              1);
    EXPECT_EQ(manifest.Count(L"//v3:requestedExecutionLevel[@level='requireAdministrator' "
                             L"and @uiAccess='false']"),
              1);
    const wchar_t* systems[] = {
        L"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // Windows 7
        L"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // Windows 8
        L"{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // Windows 8.1
        L"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // Windows 10 and 11
    };
    EXPECT_EQ(manifest.Count(L"/v1:assembly/c:compatibility/c:application/c:supportedOS"), 4);
    for (const wchar_t* id : systems) {
      std::wstring query =
          std::wstring(L"/v1:assembly/c:compatibility/c:application/c:supportedOS[@Id='") + id +
          L"']";
      EXPECT_EQ(manifest.Count(query.c_str()), 1) << std::string(id, id + 38);
    }
    EXPECT_EQ(manifest.Count(L"/v1:assembly/v1:dependency/v1:dependentAssembly/"
                             L"v1:assemblyIdentity[@name='Microsoft.Windows.Common-Controls' "
                             L"and @version='6.0.0.0' and @publicKeyToken='6595b64144ccf1df' "
                             L"and @type='win32']"),
              1);
    EXPECT_EQ(manifest.Count(L"/v1:assembly/v3:application/v3:windowsSettings/"
                             L"ws:dpiAware[.='true']"),
              1);
  }
  CoUninitialize();
}

TEST_F(ResourceFile, ManifestActivatesWithAdministratorRunLevel) {
  // The loader's own reading of the manifest: an activation context made from
  // the executable's resource reports the run level it asks for.
  ACTCTXW context{};
  context.cbSize = sizeof context;
  context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  context.lpSource = path.c_str();
  context.lpResourceName = MAKEINTRESOURCEW(1);
  HANDLE handle = CreateActCtxW(&context);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE) << "error " << GetLastError();
  ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION runLevel{};
  SIZE_T written = 0;
  EXPECT_TRUE(QueryActCtxW(0, handle, nullptr, RunlevelInformationInActivationContext, &runLevel,
                           sizeof runLevel, &written));
  EXPECT_EQ(runLevel.RunLevel, ACTCTX_RUN_LEVEL_REQUIRE_ADMIN);
  EXPECT_EQ(runLevel.UiAccess, 0u);
  wchar_t value[16] = {};
  EXPECT_TRUE(QueryActCtxSettingsW(0, handle, nullptr, L"dpiAware", value, 16, &written));
  EXPECT_TRUE(std::wstring(value) == L"true");
  ReleaseActCtx(handle);
}

// ------------------------------------------------------------------- icon

#pragma pack(push, 2)
struct GroupIconHeader {
  WORD reserved;
  WORD type;
  WORD count;
};
struct GroupIconEntry {
  BYTE width;
  BYTE height;
  BYTE colourCount;
  BYTE reserved;
  WORD planes;
  WORD bitCount;
  DWORD bytesInResource;
  WORD id;
};
#pragma pack(pop)

TEST_F(ResourceFile, IconGroupHoldsFourteenImages) {
  std::string group = Resource(MAKEINTRESOURCEW(14), MAKEINTRESOURCEW(IDI_TAVREL_CLOCK));  // RT_GROUP_ICON
  ASSERT_GE(group.size(), sizeof(GroupIconHeader));
  GroupIconHeader header;
  std::memcpy(&header, group.data(), sizeof header);
  EXPECT_EQ(header.type, 1);
  ASSERT_EQ(header.count, 14);
  ASSERT_EQ(group.size(), sizeof header + 14 * sizeof(GroupIconEntry));

  using Image = std::tuple<int, int>;  // size, bits per pixel
  std::vector<Image> found;
  for (int i = 0; i < header.count; ++i) {
    GroupIconEntry entry;
    std::memcpy(&entry, group.data() + sizeof header + i * sizeof entry, sizeof entry);
    int size = entry.width == 0 ? 256 : entry.width;
    EXPECT_EQ(entry.height, entry.width);
    EXPECT_EQ(entry.planes, 1);
    EXPECT_EQ(entry.colourCount, entry.bitCount == 4 ? 16 : 0);
    found.emplace_back(size, entry.bitCount);

    // The image itself: a DIB of that size and depth, or for the largest
    // size a PNG (RGBA, 8 bits a channel), that the system can turn into an
    // icon.
    std::string image = Resource(MAKEINTRESOURCEW(3), MAKEINTRESOURCEW(entry.id));  // RT_ICON
    ASSERT_EQ(image.size(), entry.bytesInResource);
    const std::string pngSignature("\x89PNG\r\n\x1a\n", 8);
    if (image.compare(0, pngSignature.size(), pngSignature) == 0) {
      EXPECT_EQ(size, 128);
      ASSERT_GE(image.size(), 33u);
      const auto bigEndian = [&](std::size_t at) {
        return (std::uint32_t{static_cast<std::uint8_t>(image[at])} << 24) |
               (std::uint32_t{static_cast<std::uint8_t>(image[at + 1])} << 16) |
               (std::uint32_t{static_cast<std::uint8_t>(image[at + 2])} << 8) |
               std::uint32_t{static_cast<std::uint8_t>(image[at + 3])};
      };
      EXPECT_EQ(image.substr(12, 4), "IHDR");
      EXPECT_EQ(bigEndian(16), static_cast<std::uint32_t>(size));
      EXPECT_EQ(bigEndian(20), static_cast<std::uint32_t>(size));
      EXPECT_EQ(image[24], 8);  // bits a channel
      EXPECT_EQ(image[25], 6);  // RGBA: 32 bits a pixel
      EXPECT_EQ(entry.bitCount, 32);
    } else {
      BITMAPINFOHEADER dib;
      ASSERT_GE(image.size(), sizeof dib);
      std::memcpy(&dib, image.data(), sizeof dib);
      EXPECT_EQ(dib.biWidth, size);
      EXPECT_EQ(dib.biHeight, 2 * size);
      EXPECT_EQ(dib.biBitCount, entry.bitCount);
      EXPECT_EQ(dib.biCompression, static_cast<DWORD>(BI_RGB));
    }
    HICON icon = CreateIconFromResourceEx(
        reinterpret_cast<PBYTE>(image.data()), static_cast<DWORD>(image.size()), TRUE,
        0x00030000, size, size, LR_DEFAULTCOLOR);
    EXPECT_NE(icon, nullptr) << size << " px, " << entry.bitCount << " bits";
    if (icon != nullptr) DestroyIcon(icon);
  }
  std::sort(found.begin(), found.end());
  const std::vector<Image> expected = {
      {16, 4},  {16, 8},  {16, 32}, {24, 4},  {24, 8},  {24, 32}, {32, 4},
      {32, 8},  {32, 32}, {48, 4},  {48, 8},  {48, 32}, {64, 32}, {128, 32},
  };
  EXPECT_EQ(found, expected);
}

}  // namespace
}  // namespace tavrel
