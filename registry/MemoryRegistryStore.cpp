#include "MemoryRegistryStore.h"

#include <algorithm>
#include <array>
#include <deque>
#include <iterator>
#include <list>
#include <stdexcept>
#include <unordered_map>
#include <utility>

#include "NarrowText.h"

namespace gt3 {

namespace {

// A container listed by position, the way the registry API enumerates (index 0,
// 1, 2, ...). A cursor remembers the last position asked for, so a listing in
// sequence costs constant time a step; a walk from the front for every index
// would make a full listing quadratic. Any insertion or removal goes through
// Edit(), which resets the cursor.
template <typename Container>
class Listed {
public:
    using Iterator = typename Container::const_iterator;

    const Container& items() const noexcept { return items_; }
    Container& Edit() noexcept {
        cursor_.reset();
        return items_;
    }

    // The entry at that position; the index must be below items().size().
    Iterator At(std::size_t index) const {
        if (!cursor_ || index < cursor_->index) cursor_ = Cursor{0, items_.begin()};
        cursor_->position = std::next(cursor_->position, static_cast<std::ptrdiff_t>(index - cursor_->index));
        cursor_->index = index;
        return cursor_->position;
    }

private:
    struct Cursor {
        std::size_t index;
        Iterator position;
    };
    Container items_;
    mutable std::optional<Cursor> cursor_;
};

std::wstring Fold(std::string_view name) { return FoldCase(FromNarrow(name)); }

bool IsStringType(std::uint32_t type) noexcept {
    return type == regtype::kSz || type == regtype::kExpandSz || type == regtype::kMultiSz;
}

// Generic rights as the registry maps them for keys.
std::uint32_t MapGenericAccess(std::uint32_t access) noexcept {
    constexpr std::uint32_t kGenericRead = 0x80000000u, kGenericWrite = 0x40000000u, kGenericExecute = 0x20000000u,
                            kGenericAll = 0x10000000u;
    struct Mapping {
        std::uint32_t generic, specific;
    };
    static constexpr std::array<Mapping, 5> kMap = {{{kGenericRead, access::kRead},
                                                     {kGenericWrite, access::kWrite},
                                                     {kGenericExecute, access::kRead},
                                                     {kGenericAll, access::kAllAccess},
                                                     {access::kMaximumAllowed, access::kAllAccess}}};
    std::uint32_t result = access;
    for (const auto& m : kMap)
        if (access & m.generic) result = (result & ~m.generic) | m.specific;
    return result;
}

// Splits a direct-access path ("a\b\c") into its names, ignoring empty ones.
std::vector<std::string_view> SplitLoose(std::string_view path) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('\\', start), path.size());
        if (end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// A direct-access path as the store compares it: folded, its names joined by "\\".
std::wstring FoldedLoose(std::string_view path) {
    std::wstring folded;
    for (const auto part : SplitLoose(path)) {
        if (!folded.empty()) folded += L'\\';
        folded += Fold(part);
    }
    return folded;
}

}  // namespace

struct MemoryRegistryStore::Impl {
    struct Value {
        std::string name;  // as first written
        StoredValue stored;
    };

    struct KeyNode {
        std::string name;  // as created
        std::wstring folded;
        std::string className;
        KeyNode* parent = nullptr;  // valid while the key is not deleted
        RegHandle root = 0;
        bool deleted = false;
        std::uint64_t lastWrite = 0;
        Listed<std::map<std::wstring, std::shared_ptr<KeyNode>>> subKeys;  // by folded name: case-insensitive order
        Listed<std::list<Value>> values;                                   // insertion order
        std::unordered_map<std::wstring, std::list<Value>::iterator> valueIndex;  // folded name -> place in values

        Value* FindValue(std::string_view valueName) const {
            const auto it = valueIndex.find(Fold(valueName));
            return it == valueIndex.end() ? nullptr : &*it->second;
        }

        bool EraseValue(std::string_view valueName) {
            const auto it = valueIndex.find(Fold(valueName));
            if (it == valueIndex.end()) return false;
            values.Edit().erase(it->second);
            valueIndex.erase(it);
            return true;
        }
    };

    struct OpenKey {
        std::shared_ptr<KeyNode> node;
        std::uint32_t access = 0;
    };

    // What a handle stands for: the key and what the handle may do with it.
    struct Target {
        KeyNode* node = nullptr;
        std::shared_ptr<KeyNode> owner;
        std::uint32_t access = 0;
        bool isRoot = false;
    };

    static constexpr std::size_t kCallKinds = static_cast<std::size_t>(Call::Expand) + 1;

    struct Pending {
        Call call;
        std::size_t skip;
        std::function<void()> action;
    };

    Impl() {
        for (RegHandle r : {root::kClassesRoot, root::kCurrentUser, root::kLocalMachine, root::kUsers,
                            root::kCurrentConfig}) {
            auto node = std::make_shared<KeyNode>();
            node->root = r;
            roots.emplace(r, std::move(node));
        }
    }

    std::map<RegHandle, std::shared_ptr<KeyNode>> roots;
    std::unordered_map<RegHandle, OpenKey> handles;
    RegHandle nextHandle = 0x100;
    std::uint64_t clock = 0;

    std::map<std::pair<RegHandle, std::wstring>, std::uint32_t> denied;  // (root, folded path) -> access bits
    std::vector<std::wstring> reachable;                                  // folded
    std::unordered_map<std::wstring, std::string> environment;            // folded name -> value

    struct Watch;
    std::vector<Watch*> watches;
    std::uint64_t nextWatch = 0;  // each watch's number, never used again

    std::array<std::size_t, kCallKinds> counts{};
    std::array<std::deque<RegStatus>, kCallKinds> failures;
    std::vector<Pending> pending;

    // Counts the call, runs the actions due before it and hands back an injected failure.
    std::optional<RegStatus> Enter(Call call) {
        const auto kind = static_cast<std::size_t>(call);
        ++counts[kind];
        std::vector<std::function<void()>> due;
        for (auto it = pending.begin(); it != pending.end();) {
            if (it->call != call) {
                ++it;
            } else if (it->skip == 0) {
                due.push_back(std::move(it->action));
                it = pending.erase(it);
            } else {
                --it->skip;
                ++it;
            }
        }
        for (auto& action : due) action();
        if (failures[kind].empty()) return std::nullopt;
        const RegStatus injected = failures[kind].front();
        failures[kind].pop_front();
        return injected;
    }

    // Reports a change at `node` to the watches it concerns: those of the key or one
    // above it, and for a key made or deleted (`named`) those below it too, which
    // watch for their key to come or go. Called once the change is made.
    void Changed(const KeyNode* node, bool named) {
        if (!watches.empty()) Changed(node->root, FoldedPath(node), named);
    }
    void Changed(RegHandle root, const std::wstring& path, bool named);

    RegStatus Resolve(RegHandle key, Target& out) const {
        if (key == 0) return status::kInvalidHandle;
        if (IsPredefinedRoot(key)) {
            const auto it = roots.find(key);
            if (it == roots.end()) return status::kInvalidHandle;
            out = {it->second.get(), it->second, access::kAllAccess, true};
            return status::kSuccess;
        }
        const auto it = handles.find(key);
        if (it == handles.end()) return status::kInvalidHandle;
        out = {it->second.node.get(), it->second.node, it->second.access, false};
        return status::kSuccess;
    }

    // Resolves the handle and checks, in the platform's order, the right the
    // handle must carry and that its key still exists.
    RegStatus ResolveFor(RegHandle key, std::uint32_t needed, Target& out) const {
        if (const RegStatus s = Resolve(key, out); s != status::kSuccess) return s;
        if ((out.access & needed) != needed) return status::kAccessDenied;
        if (out.node->deleted) return status::kKeyDeleted;
        return status::kSuccess;
    }

    // Splits a path given to the API. A leading separator is an error (the
    // classes root tolerates one), trailing ones are ignored, and so are repeated
    // ones inside the path.
    static RegStatus SplitPath(const char* path, RegHandle base, std::vector<std::string_view>& parts) {
        parts.clear();
        if (!path) return status::kSuccess;
        std::string_view rest(path);
        if (base == root::kClassesRoot && !rest.empty() && rest.front() == '\\') rest.remove_prefix(1);
        if (!rest.empty() && rest.front() == '\\') return status::kBadPathname;
        parts = SplitLoose(rest);
        for (const auto part : parts)
            if (part.size() > kMaxKeyNameChars) return status::kInvalidParameter;
        return status::kSuccess;
    }

    static std::wstring FoldedPath(const KeyNode* node) {
        std::vector<const std::wstring*> names;
        for (; node && node->parent; node = node->parent) names.push_back(&node->folded);
        std::wstring path;
        for (auto it = names.rbegin(); it != names.rend(); ++it) {
            if (!path.empty()) path += L'\\';
            path += **it;
        }
        return path;
    }

    // Whether opening the key at `node` + `below` for `access` is refused by DenyAccess.
    bool IsDenied(const KeyNode* node, const std::vector<std::string_view>& below, std::uint32_t access) const {
        if (denied.empty()) return false;
        std::wstring path = FoldedPath(node);
        for (const auto part : below) {
            if (!path.empty()) path += L'\\';
            path += Fold(part);
        }
        const KeyNode* top = node;
        while (top->parent) top = top->parent;
        const auto it = denied.find({top->root, path});
        return it != denied.end() && (it->second & MapGenericAccess(access)) != 0;
    }

    RegHandle NewHandle(std::shared_ptr<KeyNode> node, std::uint32_t access) {
        const RegHandle h = nextHandle;
        nextHandle += 4;
        handles.emplace(h, OpenKey{std::move(node), MapGenericAccess(access)});
        return h;
    }

    KeyNode* Child(const KeyNode* parent, std::string_view name) const {
        const auto& children = parent->subKeys.items();
        const auto it = children.find(Fold(name));
        return it == children.end() ? nullptr : it->second.get();
    }

    KeyNode* AddChild(KeyNode* parent, std::string_view name, std::string className = {}) {
        auto node = std::make_shared<KeyNode>();
        node->name = std::string(name);
        node->folded = Fold(name);
        node->className = std::move(className);
        node->parent = parent;
        node->root = parent->root;
        node->lastWrite = ++clock;
        KeyNode* raw = node.get();
        parent->subKeys.Edit().emplace(raw->folded, std::move(node));
        parent->lastWrite = ++clock;
        Changed(raw, true);
        return raw;
    }

    std::shared_ptr<KeyNode> Shared(KeyNode* node) const {
        if (!node->parent) return roots.at(node->root);
        return node->parent->subKeys.items().at(node->folded);
    }

    // Takes a key (and everything below it) out of the tree; handles still open
    // on any of them see the key as deleted.
    void Detach(KeyNode* node) {
        std::shared_ptr<KeyNode> keep = Shared(node);
        const std::wstring path = watches.empty() ? std::wstring() : FoldedPath(node);
        node->parent->subKeys.Edit().erase(node->folded);
        node->parent->lastWrite = ++clock;
        std::vector<KeyNode*> stack{node};
        while (!stack.empty()) {
            KeyNode* n = stack.back();
            stack.pop_back();
            n->deleted = true;
            n->parent = nullptr;
            for (const auto& [folded, child] : n->subKeys.items()) stack.push_back(child.get());
        }
        if (!watches.empty()) Changed(node->root, path, true);
    }

    static void Store(KeyNode* node, std::string_view name, std::uint32_t type, std::vector<std::uint8_t> data,
                      std::uint64_t stamp) {
        if (Value* existing = node->FindValue(name)) {
            existing->stored = {type, std::move(data)};
        } else {
            auto& values = node->values.Edit();
            values.push_back(Value{std::string(name), {type, std::move(data)}});
            node->valueIndex.emplace(Fold(name), std::prev(values.end()));
        }
        node->lastWrite = stamp;
    }

    // --- direct access ---
    KeyNode* RootNode(RegHandle root) const {
        const auto it = roots.find(root);
        if (it == roots.end()) throw std::invalid_argument("not a predefined root of the in-memory registry");
        return it->second.get();
    }

    KeyNode* Find(RegHandle root, std::string_view path) const {
        KeyNode* node = RootNode(root);
        for (const auto part : SplitLoose(path))
            if (!(node = Child(node, part))) return nullptr;
        return node;
    }

    KeyNode* Make(RegHandle root, std::string_view path) {
        KeyNode* node = RootNode(root);
        for (const auto part : SplitLoose(path)) {
            KeyNode* child = Child(node, part);
            node = child ? child : AddChild(node, part);
        }
        return node;
    }

    bool Reachable(const char* machine) const {
        if (!machine || !*machine) return true;
        std::string_view name(machine);
        if (name.starts_with("\\\\")) name.remove_prefix(2);
        const std::wstring folded = Fold(name);
        return std::find(reachable.begin(), reachable.end(), folded) != reachable.end();
    }

    std::string Expand(std::string_view source) const {
        std::string out;
        while (!source.empty()) {
            const std::size_t open = source.find('%');
            if (open != 0) {
                const std::size_t literal = std::min(open, source.size());
                out.append(source.substr(0, literal));
                source.remove_prefix(literal);
                continue;
            }
            const std::size_t close = source.find('%', 1);
            if (close == std::string_view::npos) {  // unterminated: copied as it stands
                out.append(source);
                break;
            }
            const auto it = environment.find(Fold(source.substr(1, close - 1)));
            if (it != environment.end()) out.append(it->second);  // not expanded again
            else out.append(source.substr(0, close + 1));         // unknown: unchanged
            source.remove_prefix(close + 1);
        }
        return out;
    }
};

struct MemoryRegistryStore::Impl::Watch final : KeyWatch {
    Watch(Impl& impl, RegHandle root, std::wstring path, std::function<void()> changed)
        : impl(impl), number(impl.nextWatch++), root(root), path(std::move(path)), changed(std::move(changed)) {
        impl.watches.push_back(this);
    }
    ~Watch() override { impl.watches.erase(std::find(impl.watches.begin(), impl.watches.end(), this)); }
    std::vector<std::uintptr_t> Events() const override { return {}; }
    void Signalled(std::uintptr_t) override {}

    Impl& impl;
    std::uint64_t number;
    RegHandle root;
    std::wstring path;  // as FoldedLoose gives it
    std::function<void()> changed;
};

namespace {

// Whether the folded path `inner` is `outer` or lies below it.
bool IsWithin(std::wstring_view inner, std::wstring_view outer) {
    return outer.empty() || inner == outer ||
           (inner.size() > outer.size() && inner.starts_with(outer) && inner[outer.size()] == L'\\');
}

}  // namespace

void MemoryRegistryStore::Impl::Changed(RegHandle root, const std::wstring& path, bool named) {
    // By number, each looked up again before its report: a report may destroy any
    // watch, and a watch destroyed hears nothing more.
    std::vector<std::uint64_t> due;
    for (const Watch* w : watches)
        if (w->root == root && (IsWithin(path, w->path) || (named && IsWithin(w->path, path))))
            due.push_back(w->number);
    for (const std::uint64_t number : due) {
        const auto it = std::find_if(watches.begin(), watches.end(), [&](const Watch* w) { return w->number == number; });
        if (it == watches.end()) continue;
        const std::function<void()> report = (*it)->changed;  // a copy: the report may end its own watch
        report();
    }
}

MemoryRegistryStore::MemoryRegistryStore() : impl_(std::make_unique<Impl>()) {}
MemoryRegistryStore::~MemoryRegistryStore() = default;

RegStatus MemoryRegistryStore::OpenKey(RegHandle key, const char* subKey, std::uint32_t /*options*/,
                                       std::uint32_t access, RegHandle* result) {
    if (const auto injected = impl_->Enter(Call::Open)) return *injected;
    if (!result) return status::kInvalidParameter;
    Impl::Target base;
    if (const RegStatus s = impl_->Resolve(key, base); s != status::kSuccess) return s;
    *result = 0;
    if (base.node->deleted) return status::kKeyDeleted;
    std::vector<std::string_view> parts;
    if (const RegStatus s = Impl::SplitPath(subKey, key, parts); s != status::kSuccess) return s;
    if (parts.empty() && base.isRoot) {
        *result = key;
        return status::kSuccess;
    }
    Impl::KeyNode* node = base.node;
    for (const auto part : parts)
        if (!(node = impl_->Child(node, part))) return status::kFileNotFound;
    if (impl_->IsDenied(node, {}, access)) return status::kAccessDenied;
    *result = impl_->NewHandle(impl_->Shared(node), access);
    return status::kSuccess;
}

RegStatus MemoryRegistryStore::CreateKey(RegHandle key, const char* subKey, std::uint32_t reserved,
                                         const char* className, std::uint32_t /*options*/, std::uint32_t access,
                                         const SecurityAttributes* /*security*/, RegHandle* result,
                                         std::uint32_t* disposition) {
    if (const auto injected = impl_->Enter(Call::Create)) return *injected;
    if (reserved != 0 || !result) return status::kInvalidParameter;
    Impl::Target base;
    if (const RegStatus s = impl_->Resolve(key, base); s != status::kSuccess) return s;
    if (base.node->deleted) return status::kKeyDeleted;
    std::vector<std::string_view> parts;
    if (const RegStatus s = Impl::SplitPath(subKey, key, parts); s != status::kSuccess) return s;
    if (parts.empty() && base.isRoot) {
        *result = key;
        if (disposition) *disposition = kOpenedExistingKey;
        return status::kSuccess;
    }
    Impl::KeyNode* node = base.node;
    std::size_t existing = 0;
    for (; existing < parts.size(); ++existing) {
        Impl::KeyNode* child = impl_->Child(node, parts[existing]);
        if (!child) break;
        node = child;
    }
    const std::vector<std::string_view> missing(parts.begin() + existing, parts.end());
    if (!missing.empty() && !(base.access & access::kCreateSubKey)) return status::kAccessDenied;
    if (impl_->IsDenied(node, missing, access)) return status::kAccessDenied;
    for (std::size_t i = 0; i < missing.size(); ++i)
        node = impl_->AddChild(node, missing[i], i + 1 == missing.size() && className ? className : "");
    *result = impl_->NewHandle(impl_->Shared(node), access);
    if (disposition) *disposition = missing.empty() ? kOpenedExistingKey : kCreatedNewKey;
    return status::kSuccess;
}

RegStatus MemoryRegistryStore::CloseKey(RegHandle key) {
    if (const auto injected = impl_->Enter(Call::Close)) return *injected;
    if (key == 0) return status::kInvalidHandle;
    if (IsPredefinedRoot(key)) return status::kSuccess;
    return impl_->handles.erase(key) ? status::kSuccess : status::kInvalidHandle;
}

RegStatus MemoryRegistryStore::DeleteKey(RegHandle key, const char* subKey) {
    if (const auto injected = impl_->Enter(Call::DeleteKey)) return *injected;
    if (!subKey) return status::kInvalidParameter;
    Impl::Target base;
    if (const RegStatus s = impl_->ResolveFor(key, 0, base); s != status::kSuccess) return s;
    std::vector<std::string_view> parts;
    if (const RegStatus s = Impl::SplitPath(subKey, key, parts); s != status::kSuccess) return s;
    Impl::KeyNode* node = base.node;
    for (const auto part : parts)
        if (!(node = impl_->Child(node, part))) return status::kFileNotFound;
    if (!node->parent || impl_->IsDenied(node, {}, access::kDelete)) return status::kAccessDenied;
    if (!node->subKeys.items().empty()) return status::kAccessDenied;
    impl_->Detach(node);
    return status::kSuccess;
}

RegStatus MemoryRegistryStore::DeleteValue(RegHandle key, const char* valueName) {
    if (const auto injected = impl_->Enter(Call::DeleteValue)) return *injected;
    Impl::Target target;
    if (const RegStatus s = impl_->ResolveFor(key, access::kSetValue, target); s != status::kSuccess) return s;
    if (!target.node->EraseValue(valueName ? valueName : "")) return status::kFileNotFound;
    target.node->lastWrite = ++impl_->clock;
    impl_->Changed(target.node, false);
    return status::kSuccess;
}

RegStatus MemoryRegistryStore::EnumKey(RegHandle key, std::uint32_t index, char* name, std::uint32_t* nameChars,
                                       char* className, std::uint32_t* classChars, FileTime* lastWriteTime) {
    if (const auto injected = impl_->Enter(Call::EnumKey)) return *injected;
    if (!name || !nameChars) return status::kInvalidParameter;
    Impl::Target target;
    if (const RegStatus s = impl_->ResolveFor(key, access::kEnumerateSubKeys, target); s != status::kSuccess)
        return s;
    if (index >= target.node->subKeys.items().size()) return status::kNoMoreItems;
    const Impl::KeyNode& child = *target.node->subKeys.At(index)->second;
    const bool wantClass = className && classChars;
    if (child.name.size() >= *nameChars || (wantClass && child.className.size() >= *classChars))
        return status::kMoreData;
    std::memcpy(name, child.name.c_str(), child.name.size() + 1);
    *nameChars = static_cast<std::uint32_t>(child.name.size());
    if (wantClass) {
        std::memcpy(className, child.className.c_str(), child.className.size() + 1);
        *classChars = static_cast<std::uint32_t>(child.className.size());
    }
    if (lastWriteTime)
        *lastWriteTime = {static_cast<std::uint32_t>(child.lastWrite), static_cast<std::uint32_t>(child.lastWrite >> 32)};
    return status::kSuccess;
}

namespace {

// Copies value data out: a string not stored with its terminator gets one when
// the buffer has room for it, though the size reported stays the stored size.
void CopyData(const MemoryRegistryStore::StoredValue& value, std::uint8_t* data, std::uint32_t capacity) {
    const std::size_t length = value.data.size();
    RegistryStore::MoveMemory(data, value.data.data(), length);
    if (IsStringType(value.type) && length > 0 && length < capacity && value.data.back() != 0) data[length] = 0;
}

}  // namespace

RegStatus MemoryRegistryStore::EnumValue(RegHandle key, std::uint32_t index, char* name, std::uint32_t* nameChars,
                                         std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) {
    if (const auto injected = impl_->Enter(Call::EnumValue)) return *injected;
    if (!name || !nameChars || (data && !dataSize)) return status::kInvalidParameter;
    Impl::Target target;
    if (const RegStatus s = impl_->ResolveFor(key, access::kQueryValue, target); s != status::kSuccess) return s;
    if (index >= target.node->values.items().size()) return status::kNoMoreItems;
    const Impl::Value& value = *target.node->values.At(index);
    const auto length = static_cast<std::uint32_t>(value.stored.data.size());
    if (type) *type = value.stored.type;
    const bool nameFits = value.name.size() < *nameChars;
    const bool dataFits = !data || length <= *dataSize;
    if (!nameFits || !dataFits) {
        if (dataSize) *dataSize = length;
        return status::kMoreData;
    }
    std::memcpy(name, value.name.c_str(), value.name.size() + 1);
    *nameChars = static_cast<std::uint32_t>(value.name.size());
    if (data) CopyData(value.stored, data, *dataSize);
    if (dataSize) *dataSize = length;
    return status::kSuccess;
}

RegStatus MemoryRegistryStore::QueryValue(RegHandle key, const char* valueName, std::uint32_t* type,
                                          std::uint8_t* data, std::uint32_t* dataSize) {
    if (const auto injected = impl_->Enter(Call::Query)) return *injected;
    if (data && !dataSize) return status::kInvalidParameter;
    Impl::Target target;
    if (const RegStatus s = impl_->ResolveFor(key, access::kQueryValue, target); s != status::kSuccess) return s;
    const Impl::Value* value = target.node->FindValue(valueName ? valueName : "");
    if (!value) return status::kFileNotFound;
    const auto length = static_cast<std::uint32_t>(value->stored.data.size());
    if (type) *type = value->stored.type;
    if (!dataSize) return status::kSuccess;
    if (data) {
        if (length > *dataSize) {
            *dataSize = length;
            return status::kMoreData;
        }
        CopyData(value->stored, data, *dataSize);
    }
    *dataSize = length;
    return status::kSuccess;
}

RegStatus MemoryRegistryStore::SetValue(RegHandle key, const char* valueName, std::uint32_t /*reserved*/,
                                        std::uint32_t type, const std::uint8_t* data, std::uint32_t dataSize) {
    if (const auto injected = impl_->Enter(Call::Set)) return *injected;
    Impl::Target target;
    if (const RegStatus s = impl_->ResolveFor(key, access::kSetValue, target); s != status::kSuccess) return s;
    const std::string_view name = valueName ? valueName : "";
    if (name.size() > kMaxValueNameChars) return status::kInvalidParameter;
    if (!data && dataSize != 0) return status::kNoAccess;
    std::vector<std::uint8_t> bytes(data, data + dataSize);
    Impl::Store(target.node, name, type, std::move(bytes), ++impl_->clock);
    impl_->Changed(target.node, false);
    return status::kSuccess;
}

RegStatus MemoryRegistryStore::ConnectRegistry(const char* machineName, RegHandle key, RegHandle* result) {
    if (const auto injected = impl_->Enter(Call::Connect)) return *injected;
    if (!impl_->Reachable(machineName)) return status::kBadNetPath;
    if (!result) return status::kInvalidParameter;
    const bool named = machineName && *machineName;
    if (!IsPredefinedRoot(key) || !impl_->roots.count(key) ||
        (named && key != root::kLocalMachine && key != root::kUsers))
        return status::kInvalidHandle;
    // A real handle, unlike the predefined root itself, so a caller that forgets
    // to close the connection shows up in OpenHandleCount().
    *result = impl_->NewHandle(impl_->roots.at(key), access::kAllAccess);
    return status::kSuccess;
}

std::uint32_t MemoryRegistryStore::ExpandEnvironmentStrings(const char* source, char* destination,
                                                            std::uint32_t capacity) {
    if (impl_->Enter(Call::Expand)) return 0;
    if (!source) return 0;
    const std::string expanded = impl_->Expand(source);
    const auto needed = static_cast<std::uint32_t>(expanded.size() + 1);
    if (destination && capacity >= needed) {
        std::memcpy(destination, expanded.c_str(), needed);
        return needed;
    }
    if (destination && capacity > 0) destination[0] = '\0';
    return destination ? needed + 1 : needed;
}

std::unique_ptr<KeyWatch> MemoryRegistryStore::WatchKey(RegHandle key, const char* path,
                                                        std::function<void()> changed) {
    impl_->RootNode(key);
    return std::make_unique<Impl::Watch>(*impl_, key, FoldedLoose(path ? path : ""), std::move(changed));
}

// --- direct access -----------------------------------------------------------

void MemoryRegistryStore::PutKey(RegHandle root, std::string_view path) { impl_->Make(root, path); }

void MemoryRegistryStore::PutValue(RegHandle root, std::string_view path, std::string_view name, std::uint32_t type,
                                   std::vector<std::uint8_t> data) {
    Impl::KeyNode* node = impl_->Make(root, path);
    Impl::Store(node, name, type, std::move(data), ++impl_->clock);
    impl_->Changed(node, false);
}

void MemoryRegistryStore::PutString(RegHandle root, std::string_view path, std::string_view name,
                                    std::string_view text) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    PutValue(root, path, name, regtype::kSz, std::move(bytes));
}

void MemoryRegistryStore::PutDword(RegHandle root, std::string_view path, std::string_view name,
                                   std::uint32_t number) {
    PutValue(root, path, name, regtype::kDword,
             {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
              static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)});
}

std::optional<MemoryRegistryStore::StoredValue> MemoryRegistryStore::GetValue(RegHandle root, std::string_view path,
                                                                              std::string_view name) const {
    const Impl::KeyNode* node = impl_->Find(root, path);
    const Impl::Value* value = node ? node->FindValue(name) : nullptr;
    if (!value) return std::nullopt;
    return value->stored;
}

bool MemoryRegistryStore::HasKey(RegHandle root, std::string_view path) const {
    return impl_->Find(root, path) != nullptr;
}

void MemoryRegistryStore::RemoveKey(RegHandle root, std::string_view path) {
    Impl::KeyNode* node = impl_->Find(root, path);
    if (!node) return;
    if (node->parent) {
        impl_->Detach(node);
        return;
    }
    while (!node->subKeys.items().empty())  // a root stays; everything below it goes
        impl_->Detach(node->subKeys.items().begin()->second.get());
}

bool MemoryRegistryStore::RenameKey(RegHandle root, std::string_view path, std::string_view newName) {
    Impl::KeyNode* node = impl_->Find(root, path);
    if (!node || !node->parent || newName.empty() || newName.find('\\') != std::string_view::npos) return false;
    auto& siblings = node->parent->subKeys.Edit();
    const std::wstring folded = Fold(newName);
    if (siblings.contains(folded)) return false;
    const std::wstring oldPath = Impl::FoldedPath(node);
    std::shared_ptr<Impl::KeyNode> keep = siblings.at(node->folded);
    siblings.erase(node->folded);
    node->name = std::string(newName);
    node->folded = folded;
    siblings.emplace(folded, std::move(keep));
    node->parent->lastWrite = ++impl_->clock;
    impl_->Changed(root, oldPath, true);
    impl_->Changed(node, true);
    return true;
}

void MemoryRegistryStore::RemoveValue(RegHandle root, std::string_view path, std::string_view name) {
    Impl::KeyNode* node = impl_->Find(root, path);
    if (node && node->EraseValue(name)) impl_->Changed(node, false);
}

void MemoryRegistryStore::DenyAccess(RegHandle root, std::string_view path, std::uint32_t deniedAccess) {
    impl_->RootNode(root);
    impl_->denied[{root, FoldedLoose(path)}] |= deniedAccess;
}

void MemoryRegistryStore::AddReachableMachine(std::string name) {
    std::string_view view(name);
    if (view.starts_with("\\\\")) view.remove_prefix(2);
    impl_->reachable.push_back(Fold(view));
}

void MemoryRegistryStore::SetEnvironmentVariable(std::string name, std::string value) {
    impl_->environment[Fold(name)] = std::move(value);
}

std::size_t MemoryRegistryStore::OpenHandleCount() const noexcept { return impl_->handles.size(); }

void MemoryRegistryStore::FailNext(Call call, RegStatus status) {
    impl_->failures[static_cast<std::size_t>(call)].push_back(status);
}

void MemoryRegistryStore::Before(Call call, std::size_t skip, std::function<void()> action) {
    impl_->pending.push_back({call, skip, std::move(action)});
}

std::size_t MemoryRegistryStore::CallCount(Call call) const noexcept {
    return impl_->counts[static_cast<std::size_t>(call)];
}

void MemoryRegistryStore::ResetCounts() noexcept { impl_->counts.fill(0); }

}  // namespace gt3
