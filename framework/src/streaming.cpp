// Writing and reading form descriptions. Reading checks every tag, length
// and nesting depth against the stream (a damaged description raises
// EReadError, never reads past its end), and calls Loaded on each component
// once the whole description is in.
#include "framework/streaming.h"

#include <cfloat>
#include <cstring>
#include <mutex>

#include "rtl/scopeguard.h"

namespace ax {

namespace {

// Our 10-byte floats are the x87 extended format the descriptions carry.
static_assert(LDBL_MANT_DIG == 64, "extended values need the 80-bit long double");

struct ClassRegistry {
    std::mutex mutex;
    std::map<AnsiString, TComponentFactory> factories; // keys lower case
};

ClassRegistry& Registry() {
    static ClassRegistry registry;
    return registry;
}

AnsiString Key(const AnsiString& name) { return LowerCase(name); }

constexpr int kMaxDepth = 64;

} // namespace

void RegisterComponentClass(const AnsiString& className, TComponentFactory factory) {
    auto& r = Registry();
    std::lock_guard lock(r.mutex);
    r.factories[Key(className)] = std::move(factory);
}

bool IsComponentClassRegistered(const AnsiString& className) {
    auto& r = Registry();
    std::lock_guard lock(r.mutex);
    return r.factories.count(Key(className)) != 0;
}

static TComponentFactory FindFactory(const AnsiString& className) {
    auto& r = Registry();
    std::lock_guard lock(r.mutex);
    auto it = r.factories.find(Key(className));
    return it == r.factories.end() ? TComponentFactory{} : it->second;
}

// ---- TFiler conveniences ------------------------------------------------------------

void TFiler::Integer(const AnsiString& name, std::function<int64_t()> get,
                     std::function<void(int64_t)> set, std::optional<int64_t> def) {
    const bool hasData = !def || get() != *def;
    DefineProperty(
        name, [set](TReader& r) { set(r.ReadInt64()); }, [get](TWriter& w) { w.WriteInteger(get()); },
        hasData);
}

void TFiler::Bool(const AnsiString& name, std::function<bool()> get, std::function<void(bool)> set,
                  std::optional<bool> def) {
    const bool hasData = !def || get() != *def;
    DefineProperty(
        name, [set](TReader& r) { set(r.ReadBoolean()); }, [get](TWriter& w) { w.WriteBoolean(get()); },
        hasData);
}

void TFiler::String(const AnsiString& name, std::function<AnsiString()> get,
                    std::function<void(const AnsiString&)> set, std::optional<AnsiString> def) {
    const bool hasData = !def || get() != *def;
    DefineProperty(
        name, [set](TReader& r) { set(r.ReadString()); }, [get](TWriter& w) { w.WriteString(get()); },
        hasData);
}

void TFiler::Float(const AnsiString& name, std::function<double()> get,
                   std::function<void(double)> set, std::optional<double> def) {
    const bool hasData = !def || get() != *def;
    DefineProperty(
        name, [set](TReader& r) { set(r.ReadFloat()); }, [get](TWriter& w) { w.WriteFloat(get()); },
        hasData);
}

void TFiler::Enum(const AnsiString& name, const std::vector<const char*>& idents,
                  std::function<int()> get, std::function<void(int)> set, std::optional<int> def) {
    const bool hasData = !def || get() != *def;
    DefineProperty(
        name,
        [set, idents](TReader& r) {
            const AnsiString ident = r.ReadIdent();
            for (size_t i = 0; i < idents.size(); ++i)
                if (SameText(ident, idents[i])) {
                    set(static_cast<int>(i));
                    return;
                }
            throw EReadError(SInvalidPropertyValue);
        },
        [get, idents](TWriter& w) {
            const int v = get();
            if (v < 0 || size_t(v) >= idents.size()) throw EWriteError(SInvalidPropertyValue);
            w.WriteIdent(idents[size_t(v)]);
        },
        hasData);
}

void TFiler::Set(const AnsiString& name, const std::vector<const char*>& idents,
                 std::function<unsigned()> get, std::function<void(unsigned)> set,
                 std::optional<unsigned> def) {
    const bool hasData = !def || get() != *def;
    DefineProperty(
        name, [set, idents](TReader& r) { set(r.ReadSet(idents)); },
        [get, idents](TWriter& w) { w.WriteSet(get(), idents); }, hasData);
}

void TFiler::Strings(const AnsiString& name, TStringList& list) {
    DefineProperty(
        name + ".Strings",
        [&list](TReader& r) {
            list.BeginUpdate();
            list.Clear();
            r.ReadListBegin();
            while (!r.EndOfList()) list.Add(r.ReadString());
            r.ReadListEnd();
            list.EndUpdate();
        },
        [&list](TWriter& w) {
            w.WriteListBegin();
            for (int i = 0; i < list.Count(); ++i) w.WriteString(list[i]);
            w.WriteListEnd();
        },
        list.Count() > 0);
}

void TFiler::Collection(const AnsiString& name, TCollection& collection) {
    DefineProperty(
        name, [&collection](TReader& r) { r.ReadCollection(collection); },
        [&collection](TWriter& w) { w.WriteCollection(collection); }, collection.Count() > 0);
}

void TFiler::ComponentRef(const AnsiString& name, std::function<TComponent*()> get,
                          std::function<void(TComponent*)> set) {
    TComponent* current = get();
    const bool hasData = current && !current->Name().empty();
    DefineProperty(
        name,
        [set](TReader& r) {
            const AnsiString ident = r.ReadIdent();
            if (SameText(ident, "nil")) set(nullptr);
            else r.AddFixup(ident, set);
        },
        [get](TWriter& w) {
            TComponent* c = get();
            TComponent* root = w.Root();
            if (c == root || (c->Owner() && c->Owner() == root) || !c->Owner())
                w.WriteIdent(c->Name());
            else w.WriteIdent(c->Owner()->Name() + "." + c->Name());
        },
        hasData);
}

// ---- TWriter --------------------------------------------------------------------------

void TWriter::WriteSignature() { WriteRaw("TPF0", 4); }

void TWriter::WriteValue(TValueType value) {
    const auto b = static_cast<uint8_t>(value);
    WriteRaw(&b, 1);
}

void TWriter::WriteInteger(int64_t value) {
    if (value >= INT8_MIN && value <= INT8_MAX) {
        WriteValue(TValueType::vaInt8);
        stream_.WriteValue<int8_t>(static_cast<int8_t>(value));
    } else if (value >= INT16_MIN && value <= INT16_MAX) {
        WriteValue(TValueType::vaInt16);
        stream_.WriteValue<int16_t>(static_cast<int16_t>(value));
    } else if (value >= INT32_MIN && value <= INT32_MAX) {
        WriteValue(TValueType::vaInt32);
        stream_.WriteValue<int32_t>(static_cast<int32_t>(value));
    } else {
        WriteValue(TValueType::vaInt64);
        stream_.WriteValue<int64_t>(value);
    }
}

void TWriter::WriteBoolean(bool value) { WriteValue(value ? TValueType::vaTrue : TValueType::vaFalse); }

void TWriter::WriteString(const AnsiString& value) {
    if (value.size() <= 255) {
        WriteValue(TValueType::vaString);
        WriteStr(value);
    } else {
        WriteValue(TValueType::vaLString);
        stream_.WriteValue<uint32_t>(static_cast<uint32_t>(value.size()));
        WriteRaw(value.data(), value.size());
    }
}

void TWriter::WriteIdent(const AnsiString& ident) {
    if (SameText(ident, "False")) WriteValue(TValueType::vaFalse);
    else if (SameText(ident, "True")) WriteValue(TValueType::vaTrue);
    else if (SameText(ident, "nil")) WriteValue(TValueType::vaNil);
    else {
        WriteValue(TValueType::vaIdent);
        WriteStr(ident);
    }
}

void TWriter::WriteFloat(double value) {
    WriteValue(TValueType::vaExtended);
    long double ext = value;
    uint8_t bytes[sizeof(long double)] = {};
    std::memcpy(bytes, &ext, sizeof ext);
    WriteRaw(bytes, 10);
}

void TWriter::WriteBinary(const std::vector<uint8_t>& bytes) {
    WriteValue(TValueType::vaBinary);
    stream_.WriteValue<uint32_t>(static_cast<uint32_t>(bytes.size()));
    if (!bytes.empty()) WriteRaw(bytes.data(), bytes.size());
}

void TWriter::WriteSet(unsigned mask, const std::vector<const char*>& idents) {
    WriteValue(TValueType::vaSet);
    for (size_t i = 0; i < idents.size() && i < 32; ++i)
        if (mask & (1u << i)) WriteStr(idents[i]);
    WriteStr("");
}

void TWriter::WriteCollection(TCollection& collection) {
    WriteValue(TValueType::vaCollection);
    const AnsiString saved = propPath_;
    propPath_.clear();
    for (int i = 0; i < collection.Count(); ++i) {
        WriteListBegin();
        WriteProperties(*collection.Items(i));
        WriteListEnd();
    }
    propPath_ = saved;
    WriteListEnd();
}

void TWriter::WriteStr(const AnsiString& value) {
    if (value.size() > 255) throw EWriteError("String too long for a name: " + value.substr(0, 32));
    const auto n = static_cast<uint8_t>(value.size());
    WriteRaw(&n, 1);
    if (n) WriteRaw(value.data(), n);
}

void TWriter::WriteProperties(TPersistent& instance) {
    instance.DefinePublished(*this);
    instance.DefineProperties(*this);
}

void TWriter::WriteComponent(TComponent& component) {
    component.SetState(csWriting);
    ScopeGuard written([&component] { component.ClearState(csWriting); });
    WriteStr(component.ClassName());
    WriteStr(component.Name());
    WriteProperties(component);
    WriteListEnd();
    component.GetChildren([this](TComponent* child) { WriteComponent(*child); }, root_);
    WriteListEnd();
}

void TWriter::WriteRootComponent(TComponent& root) {
    root_ = &root;
    WriteSignature();
    WriteComponent(root);
}

void TWriter::DefineProperty(const AnsiString& name, TReadProc, TWriteProc write, bool hasData) {
    if (!hasData || !write) return;
    WritePropName(name);
    write(*this);
}

void TWriter::DefineBinaryProperty(const AnsiString& name, TStreamProc, TStreamProc write,
                                   bool hasData) {
    if (!hasData || !write) return;
    WritePropName(name);
    TMemoryStream data;
    write(data);
    WriteBinary(data.Bytes());
}

void TWriter::DefineObject(const AnsiString& name, TPersistent* object) {
    if (!object) return;
    const AnsiString saved = propPath_;
    propPath_ += name + ".";
    WriteProperties(*object);
    propPath_ = saved;
}

// ---- TReader ------------------------------------------------------------------------------

void TReader::ReadSignature() {
    char sig[4];
    ReadRaw(sig, 4);
    if (std::memcmp(sig, "TPF0", 4) != 0) throw EReadError(SInvalidImage);
}

TValueType TReader::ReadValue() {
    uint8_t b;
    ReadRaw(&b, 1);
    if (b > static_cast<uint8_t>(TValueType::vaDouble)) throw EReadError(SInvalidImage);
    return static_cast<TValueType>(b);
}

bool TReader::EndOfList() {
    uint8_t b;
    ReadRaw(&b, 1);
    stream_.Seek(-1, soCurrent);
    return b == 0;
}

TValueType TReader::NextValue() {
    // A peek does not judge the byte: where a property may follow, it is
    // the length of its name (names of 22 characters and more exceed the
    // value tags). Reading the value checks it.
    uint8_t b;
    ReadRaw(&b, 1);
    stream_.Seek(-1, soCurrent);
    return static_cast<TValueType>(b);
}

void TReader::CheckValue(TValueType expected) {
    if (ReadValue() != expected) {
        stream_.Seek(-1, soCurrent);
        throw EReadError(SInvalidPropertyValue);
    }
}

uint32_t TReader::ReadLength() {
    const auto n = stream_.ReadValue<uint32_t>();
    if (int64_t(n) > stream_.Remaining()) throw EReadError(SReadError);
    return n;
}

int64_t TReader::ReadInt64() {
    switch (ReadValue()) {
    case TValueType::vaInt8: return stream_.ReadValue<int8_t>();
    case TValueType::vaInt16: return stream_.ReadValue<int16_t>();
    case TValueType::vaInt32: return stream_.ReadValue<int32_t>();
    case TValueType::vaInt64: return stream_.ReadValue<int64_t>();
    default: throw EReadError(SInvalidPropertyValue);
    }
}

int32_t TReader::ReadInteger() {
    const int64_t v = ReadInt64();
    if (v < INT32_MIN || v > INT32_MAX) throw EReadError(SInvalidPropertyValue);
    return static_cast<int32_t>(v);
}

bool TReader::ReadBoolean() {
    const TValueType v = ReadValue();
    if (v == TValueType::vaTrue) return true;
    if (v == TValueType::vaFalse) return false;
    throw EReadError(SInvalidPropertyValue);
}

AnsiString TReader::ReadString() {
    switch (ReadValue()) {
    case TValueType::vaString: return ReadStr();
    case TValueType::vaLString:
    case TValueType::vaUTF8String: {
        const uint32_t n = ReadLength();
        AnsiString s(n, '\0');
        if (n) ReadRaw(s.data(), n);
        return s;
    }
    case TValueType::vaWString: {
        const auto units = stream_.ReadValue<uint32_t>();
        if (int64_t(units) * 2 > stream_.Remaining()) throw EReadError(SReadError);
        std::u16string w(units, u'\0');
        if (units) ReadRaw(w.data(), size_t(units) * 2);
        return WideToUtf8(w);
    }
    default: throw EReadError(SInvalidPropertyValue);
    }
}

AnsiString TReader::ReadIdent() {
    switch (ReadValue()) {
    case TValueType::vaIdent: return ReadStr();
    case TValueType::vaFalse: return "False";
    case TValueType::vaTrue: return "True";
    case TValueType::vaNil: return "nil";
    case TValueType::vaNull: return "Null";
    default: throw EReadError(SInvalidPropertyValue);
    }
}

double TReader::ReadFloat() {
    const TValueType v = ReadValue();
    switch (v) {
    case TValueType::vaExtended: {
        uint8_t bytes[sizeof(long double)] = {};
        ReadRaw(bytes, 10);
        long double ext;
        std::memcpy(&ext, bytes, sizeof ext);
        return static_cast<double>(ext);
    }
    case TValueType::vaSingle: return stream_.ReadValue<float>();
    case TValueType::vaDouble:
    case TValueType::vaDate: return stream_.ReadValue<double>();
    case TValueType::vaCurrency: return double(stream_.ReadValue<int64_t>()) / 10000.0;
    case TValueType::vaInt8:
    case TValueType::vaInt16:
    case TValueType::vaInt32:
    case TValueType::vaInt64: stream_.Seek(-1, soCurrent); return double(ReadInt64());
    default: throw EReadError(SInvalidPropertyValue);
    }
}

std::vector<uint8_t> TReader::ReadBinary() {
    CheckValue(TValueType::vaBinary);
    const uint32_t n = ReadLength();
    std::vector<uint8_t> bytes(n);
    if (n) ReadRaw(bytes.data(), n);
    return bytes;
}

unsigned TReader::ReadSet(const std::vector<const char*>& idents) {
    CheckValue(TValueType::vaSet);
    unsigned mask = 0;
    for (;;) {
        const AnsiString ident = ReadStr();
        if (ident.empty()) break;
        bool found = false;
        for (size_t i = 0; i < idents.size() && i < 32; ++i)
            if (SameText(ident, idents[i])) {
                mask |= 1u << i;
                found = true;
            }
        if (!found) throw EReadError(SInvalidPropertyValue);
    }
    return mask;
}

void TReader::ReadCollection(TCollection& collection) {
    CheckValue(TValueType::vaCollection);
    if (++depth_ > kMaxDepth) throw EReadError(SInvalidImage);
    collection.BeginUpdate();
    // Success ends the update outside the guard, so a change handler's throw still reaches the caller.
    ScopeGuard failed([this, &collection] {
        collection.EndUpdate();
        --depth_;
    });
    collection.Clear();
    while (!EndOfList()) {
        const TValueType next = NextValue();
        if (next == TValueType::vaInt8 || next == TValueType::vaInt16 || next == TValueType::vaInt32)
            (void)ReadInteger(); // the item's position; the order is the stream's
        TCollectionItem* item = collection.Add();
        ReadListBegin();
        while (!EndOfList()) ReadProperty(*item);
        ReadListEnd();
    }
    ReadListEnd();
    failed.Dismiss();
    collection.EndUpdate();
    --depth_;
}

AnsiString TReader::ReadStr() {
    uint8_t n;
    ReadRaw(&n, 1);
    AnsiString s(n, '\0');
    if (n) ReadRaw(s.data(), n);
    return s;
}

void TReader::SkipValue() {
    if (++depth_ > kMaxDepth) throw EReadError(SInvalidImage);
    const TValueType v = ReadValue();
    auto skip = [this](int64_t n) {
        if (n > stream_.Remaining()) throw EReadError(SReadError);
        stream_.Seek(n, soCurrent);
    };
    switch (v) {
    case TValueType::vaNull:
    case TValueType::vaFalse:
    case TValueType::vaTrue:
    case TValueType::vaNil: break;
    case TValueType::vaList:
        while (!EndOfList()) SkipValue();
        ReadListEnd();
        break;
    case TValueType::vaInt8: skip(1); break;
    case TValueType::vaInt16: skip(2); break;
    case TValueType::vaInt32:
    case TValueType::vaSingle: skip(4); break;
    case TValueType::vaInt64:
    case TValueType::vaCurrency:
    case TValueType::vaDate:
    case TValueType::vaDouble: skip(8); break;
    case TValueType::vaExtended: skip(10); break;
    case TValueType::vaString:
    case TValueType::vaIdent: (void)ReadStr(); break;
    case TValueType::vaBinary:
    case TValueType::vaLString:
    case TValueType::vaUTF8String: skip(ReadLength()); break;
    case TValueType::vaWString: skip(int64_t(stream_.ReadValue<uint32_t>()) * 2); break;
    case TValueType::vaSet:
        while (!ReadStr().empty()) {
        }
        break;
    case TValueType::vaCollection:
        while (!EndOfList()) {
            const TValueType next = NextValue();
            if (next == TValueType::vaInt8 || next == TValueType::vaInt16 || next == TValueType::vaInt32)
                SkipValue();
            ReadListBegin();
            while (!EndOfList()) {
                (void)ReadStr();
                SkipValue();
            }
            ReadListEnd();
        }
        ReadListEnd();
        break;
    }
    --depth_;
}

bool TReader::Fail(const AnsiString& message) {
    if (OnError && OnError(message)) return true;
    throw EReadError(message);
}

std::map<AnsiString, TReader::Definition> TReader::Collect(TPersistent& instance) {
    std::map<AnsiString, Definition> defs;
    auto* saved = collecting_;
    collecting_ = &defs;
    ScopeGuard restore([this, saved] { collecting_ = saved; });
    instance.DefinePublished(*this);
    instance.DefineProperties(*this);
    return defs;
}

void TReader::DefineProperty(const AnsiString& name, TReadProc read, TWriteProc, bool) {
    if (collecting_) (*collecting_)[Key(name)] = Definition{std::move(read), {}, nullptr};
}

void TReader::DefineBinaryProperty(const AnsiString& name, TStreamProc read, TStreamProc, bool) {
    if (collecting_) (*collecting_)[Key(name)] = Definition{{}, std::move(read), nullptr};
}

void TReader::DefineObject(const AnsiString& name, TPersistent* object) {
    if (collecting_ && object) (*collecting_)[Key(name)] = Definition{{}, {}, object};
}

void TReader::ReadProperty(TPersistent& instance) {
    const AnsiString name = ReadStr();
    TPersistent* target = &instance;
    AnsiString rest = name;
    for (int guard = 0; guard < 16; ++guard) {
        auto defs = Collect(*target);
        auto it = defs.find(Key(rest));
        if (it != defs.end() && (it->second.read || it->second.readBinary)) {
            if (it->second.read) {
                it->second.read(*this);
            } else {
                TMemoryStream data(ReadBinary());
                it->second.readBinary(data);
            }
            return;
        }
        const size_t dot = rest.find('.');
        if (dot == AnsiString::npos) break;
        auto obj = defs.find(Key(rest.substr(0, dot)));
        if (obj == defs.end() || !obj->second.object) break;
        target = obj->second.object;
        rest = rest.substr(dot + 1);
    }
    Fail(Format(SUnknownProperty, name.c_str()));
    SkipValue();
}

void TReader::AddFixup(const AnsiString& name, std::function<void(TComponent*)> set) {
    fixups_.push_back({name, std::move(set)});
}

void TReader::ReadComponentBody(TComponent& component) {
    if (++depth_ > kMaxDepth) throw EReadError(SInvalidImage);
    while (!EndOfList()) ReadProperty(component);
    ReadListEnd();
    while (!EndOfList()) ReadComponent(&component);
    ReadListEnd();
    --depth_;
}

static void ReadPrefix(TReader& reader, TStream& stream) {
    uint8_t b;
    stream.ReadBuffer(&b, 1);
    if ((b & 0xF0) == 0xF0) {
        if (b & 0x02) (void)reader.ReadInteger(); // child position
    } else {
        stream.Seek(-1, soCurrent);
    }
}

TComponent* TReader::ReadComponent(TComponent* parent) {
    ReadPrefix(*this, stream_);
    const AnsiString className = ReadStr();
    const AnsiString name = ReadStr();
    TComponent* owner = root_;
    TComponent* component = owner ? owner->FindComponent(name) : nullptr;
    bool created = false;
    if (!component) {
        TComponentFactory factory = FindFactory(className);
        if (!factory) {
            Fail(Format(SClassNotFound, className.c_str()));
            // Skipped: its properties and children go unread.
            ++depth_;
            while (!EndOfList()) {
                (void)ReadStr();
                SkipValue();
            }
            ReadListEnd();
            while (!EndOfList()) ReadComponent(nullptr);
            ReadListEnd();
            --depth_;
            return nullptr;
        }
        std::unique_ptr<TComponent> made = factory(owner);
        component = made.get();
        component->SetState(csLoading | csReading);
        component->SetName(name);
        if (owner) owner->InsertComponent(std::move(made));
        else (void)made.release(); // cannot happen: a root is always set
        created = true;
    }
    component->SetState(csLoading | csReading);
    ScopeGuard unmake([created, owner, component] {
        if (created && owner) owner->FreeComponent(component);
    });
    if (parent) component->SetParentComponent(parent);
    ReadComponentBody(*component);
    unmake.Dismiss();
    loaded_.push_back(component);
    return component;
}

void TReader::ReadRootComponent(TComponent& root) {
    root_ = &root;
    loaded_.clear();
    fixups_.clear();
    ReadSignature();
    ReadPrefix(*this, stream_);
    (void)ReadStr(); // the class name: the root is already made
    const AnsiString name = ReadStr();
    root.SetState(csLoading | csReading);
    loaded_.push_back(&root);
    ScopeGuard unload([this] {
        for (TComponent* c : loaded_) c->ClearState(csLoading | csReading);
    });
    if (root.Name().empty() && !name.empty()) root.SetName(name);
    ReadComponentBody(root);
    unload.Dismiss();
    for (auto& f : fixups_) {
        TComponent* found = SameText(f.name, root.Name()) ? &root : root.FindComponent(f.name);
        if (found) f.set(found);
    }
    fixups_.clear();
    for (TComponent* c : loaded_) c->ClearState(csReading);
    for (TComponent* c : loaded_) c->Loaded();
}

void WriteComponentResource(TStream& stream, TComponent& root) {
    TWriter writer(stream);
    writer.WriteRootComponent(root);
}

void ReadComponentResource(TStream& stream, TComponent& root) {
    TReader reader(stream);
    reader.ReadRootComponent(root);
}

} // namespace ax
