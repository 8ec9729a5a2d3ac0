#pragma once
// Registry access for the program: a key context (root, base path, sub-key) and
// operations on keys and typed values, locally and on another machine.
// No key stays open between two calls; store failures show only in results.

#include <cstdint>
#include <optional>
#include <string>

#include "Collection.h"
#include "KeyHandle.h"
#include "RegistryStore.h"
#include "Variant.h"

namespace gt3 {

class RegistryRoutines {
public:
    explicit RegistryRoutines(RegistryStore& store) noexcept : store_(store) {}
    // On Windows: the platform registry (defined only in the Windows build).
    RegistryRoutines();

    // The key context. The context key is KeyRoot + "\" + Subkey below hkey,
    // joined unchanged.
    std::int32_t hkey() const noexcept { return hkey_; }
    void hkey(std::int32_t vData) noexcept { hkey_ = vData; }
    std::wstring KeyRoot() const { return keyRoot_; }
    void KeyRoot(std::wstring vData) { keyRoot_ = std::move(vData); }
    std::wstring Subkey() const { return subkey_; }
    void Subkey(std::wstring vData) { subkey_ = std::move(vData); }

    // True when the context key can be opened for reading.
    bool KeyExists();

    // Creates (or opens) KeyRoot + "\" + KeyName below hkey; without an argument,
    // KeyName is Subkey. Writes the text used back into KeyName. "0" on success,
    // "" on failure.
    std::wstring CreateKey();
    std::wstring CreateKey(Variant& KeyName);

    // Deletes KeyRoot + "\" + KeyName below hkey; the store's status.
    std::int32_t DeleteKey(const std::wstring& KeyName);

    // Deletes a value of the context key; the status of the step that failed, or 0.
    std::int32_t DeleteValue(const std::wstring& ValueName);

    // Names of the immediate sub-keys of KeyName below hkey (hkey itself when
    // KeyName is empty), each keyed by its name. The object's context is not used.
    Collection EnumRegistryKeys(std::int32_t hkey, std::wstring KeyName);

    // Every value of KeyName below hkey as {name, data} items keyed by name.
    Collection EnumRegistryValues(std::int32_t hkey, std::wstring KeyName);

    // One value of the context key converted by its type; DefaultValue (Empty when
    // omitted) where nothing converts.
    Variant GetRegistryValue(std::wstring ValueName, const Variant& DefaultValue = Variant::Missing());

    // Writes Value as type DType into the context key; false when nothing was written.
    bool SetRegistryValue(std::wstring ValueName, const Variant& Value, std::int32_t DType);

    // The same on another machine's registry; KeyPath defaults to the context path.
    // A failed connection reads as the String "Error!" and writes as false.
    Variant ReadRemoteRegistryValue(std::wstring sRemoteComputer, std::int32_t hkey, std::wstring ValueName,
                                    std::optional<std::wstring> KeyPath = std::nullopt);
    bool WriteRemoteRegistryValue(std::wstring sRemoteComputer, std::int32_t hkey, std::wstring ValueName,
                                  const Variant& Value, std::int32_t DType,
                                  std::optional<std::wstring> KeyPath = std::nullopt);

    // Cuts item before its first NUL, in the caller's variable too; returns it.
    static std::wstring TrimNull(std::wstring& item);

private:
    std::wstring ContextPath() const;

    // Opens path below root. On success `handle` is the key to use; `owner` closes
    // it, unless the store handed back a predefined root, which is never closed.
    static RegStatus Open(RegistryStore& store, RegHandle root, const char* path, std::uint32_t access,
                          KeyHandle& owner, RegHandle& handle);
    // The key an enumeration lists: the root itself (never closed) when keyName is
    // empty, else keyName opened for reading below it. False when it cannot be opened.
    static bool OpenToList(RegistryStore& store, RegHandle root, const std::wstring& keyName, KeyHandle& owner,
                           RegHandle& handle);
    // The value-read protocol shared by the local and remote reads: the converted
    // value, or nullopt where the caller's default stands.
    static std::optional<Variant> ReadValue(RegistryStore& store, RegHandle key, const char* valueName);
    // One conversion and one store call; nullopt when DType has no conversion.
    static std::optional<RegStatus> WriteValue(RegistryStore& store, RegHandle key, const char* valueName,
                                               const Variant& Value, std::int32_t DType);

    RegistryStore& store_;
    std::int32_t hkey_ = 0;
    std::wstring keyRoot_;
    std::wstring subkey_;
    SecurityAttributes secAttr_{};  // all zero: default security, not inheritable
};

}  // namespace gt3
