#pragma once
// The binary property stream of form descriptions. A description is the
// signature "TPF0" and one component record: class name and component name
// as length-prefixed strings, then its properties (name, tagged value) up to
// an empty name, then its children's records up to an empty record.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/classes.h"
#include "rtl/streams.h"

namespace ax {

class TReader;
class TWriter;

// The value tags, by their stored numbers.
enum class TValueType : uint8_t {
    vaNull = 0x00, // end of a list
    vaList = 0x01,
    vaInt8 = 0x02,
    vaInt16 = 0x03,
    vaInt32 = 0x04,
    vaExtended = 0x05, // 10-byte floating point
    vaString = 0x06,   // length byte, bytes
    vaIdent = 0x07,
    vaFalse = 0x08,
    vaTrue = 0x09,
    vaBinary = 0x0A, // 32-bit length, bytes
    vaSet = 0x0B,
    vaLString = 0x0C, // 32-bit length, bytes
    vaNil = 0x0D,
    vaCollection = 0x0E,
    vaSingle = 0x0F,
    vaCurrency = 0x10,
    vaDate = 0x11,
    vaWString = 0x12, // 32-bit count of UTF-16 units, units
    vaInt64 = 0x13,
    vaUTF8String = 0x14, // 32-bit length, bytes
    vaDouble = 0x15,
};

inline constexpr const char* SInvalidImage = "Invalid stream format";
inline constexpr const char* SInvalidPropertyValue = "Invalid property value";
inline constexpr const char* SUnknownProperty = "Property %s does not exist";
inline constexpr const char* SClassNotFound = "Class %s not found";

using TReadProc = std::function<void(TReader&)>;
using TWriteProc = std::function<void(TWriter&)>;
using TStreamProc = std::function<void(TStream&)>;

// What readers and writers share: the property definitions of an object.
// A class names its properties in DefinePublished and DefineProperties; the
// writer writes those that have data, the reader finds them by name.
class TFiler {
public:
    virtual ~TFiler() = default;
    TComponent* Root() const { return root_; }

    virtual void DefineProperty(const AnsiString& name, TReadProc read, TWriteProc write,
                                bool hasData) = 0;
    virtual void DefineBinaryProperty(const AnsiString& name, TStreamProc read, TStreamProc write,
                                      bool hasData) = 0;
    // A persistent sub-object whose properties are stored as "Name.Property".
    virtual void DefineObject(const AnsiString& name, TPersistent* object) = 0;

    // Typed conveniences; each value is written when it differs from def.
    void Integer(const AnsiString& name, std::function<int64_t()> get,
                 std::function<void(int64_t)> set, std::optional<int64_t> def);
    void Bool(const AnsiString& name, std::function<bool()> get, std::function<void(bool)> set,
              std::optional<bool> def);
    void String(const AnsiString& name, std::function<AnsiString()> get,
                std::function<void(const AnsiString&)> set, std::optional<AnsiString> def = "");
    void Float(const AnsiString& name, std::function<double()> get, std::function<void(double)> set,
               std::optional<double> def);
    // An enumeration stored by its identifiers (idents[value]).
    void Enum(const AnsiString& name, const std::vector<const char*>& idents,
              std::function<int()> get, std::function<void(int)> set, std::optional<int> def);
    // A set stored as the identifiers of its bits (bit i = idents[i]).
    void Set(const AnsiString& name, const std::vector<const char*>& idents,
             std::function<unsigned()> get, std::function<void(unsigned)> set,
             std::optional<unsigned> def);
    // A list of strings, stored as "<name>.Strings".
    void Strings(const AnsiString& name, TStringList& list);
    void Collection(const AnsiString& name, TCollection& collection);
    // A reference to another component of the description, stored by name
    // and resolved when the whole description was read.
    void ComponentRef(const AnsiString& name, std::function<TComponent*()> get,
                      std::function<void(TComponent*)> set);

protected:
    TComponent* root_ = nullptr;
};

class TWriter : public TFiler {
public:
    explicit TWriter(TStream& stream) : stream_(stream) {}

    void WriteSignature();
    void WriteValue(TValueType value);
    // The smallest signed tag that holds the value.
    void WriteInteger(int64_t value);
    void WriteBoolean(bool value);
    void WriteString(const AnsiString& value);
    void WriteIdent(const AnsiString& ident);
    void WriteFloat(double value);
    void WriteListBegin() { WriteValue(TValueType::vaList); }
    void WriteListEnd() { WriteValue(TValueType::vaNull); }
    void WriteBinary(const std::vector<uint8_t>& bytes);
    void WriteSet(unsigned mask, const std::vector<const char*>& idents);
    void WriteCollection(TCollection& collection);
    // A raw length-prefixed string (names, not values).
    void WriteStr(const AnsiString& value);
    void WritePropName(const AnsiString& name) { WriteStr(propPath_ + name); }

    void WriteProperties(TPersistent& instance);
    void WriteComponent(TComponent& component);
    // Signature and the root's record; its children are the components its
    // GetChildren names.
    void WriteRootComponent(TComponent& root);

    void DefineProperty(const AnsiString& name, TReadProc read, TWriteProc write,
                        bool hasData) override;
    void DefineBinaryProperty(const AnsiString& name, TStreamProc read, TStreamProc write,
                              bool hasData) override;
    void DefineObject(const AnsiString& name, TPersistent* object) override;

    TStream& Stream() { return stream_; }

private:
    void WriteRaw(const void* data, size_t size) { stream_.WriteBuffer(data, int64_t(size)); }
    TStream& stream_;
    AnsiString propPath_;
};

// Factory of a component class read from a description.
using TComponentFactory = std::function<std::unique_ptr<TComponent>(TComponent* owner)>;
void RegisterComponentClass(const AnsiString& className, TComponentFactory factory);
template <class T> void RegisterComponentClass(const AnsiString& className) {
    RegisterComponentClass(className, [](TComponent* owner) { return std::make_unique<T>(owner); });
}
bool IsComponentClassRegistered(const AnsiString& className);

class TReader : public TFiler {
public:
    explicit TReader(TStream& stream) : stream_(stream) {}

    void ReadSignature();
    TValueType ReadValue();
    TValueType NextValue();
    // A list ends with a zero byte; whatever else comes (a property name's
    // length, a value tag) is left for the caller to read.
    bool EndOfList();
    int32_t ReadInteger();
    int64_t ReadInt64();
    bool ReadBoolean();
    AnsiString ReadString();
    AnsiString ReadIdent();
    double ReadFloat();
    void ReadListBegin() { CheckValue(TValueType::vaList); }
    void ReadListEnd() { CheckValue(TValueType::vaNull); }
    std::vector<uint8_t> ReadBinary();
    unsigned ReadSet(const std::vector<const char*>& idents);
    void ReadCollection(TCollection& collection);
    AnsiString ReadStr();
    void SkipValue();

    // Reads one "name value" pair into instance.
    void ReadProperty(TPersistent& instance);
    // Reads a component record; the component is created by its registered
    // class (or found by name among the root's components) and owned by
    // the root; its parent component is parent.
    TComponent* ReadComponent(TComponent* parent);
    // Reads a whole description into root: its properties and children,
    // then fixes up references and calls Loaded on every component read.
    void ReadRootComponent(TComponent& root);

    // Told of a property the instance does not have or a value it refuses;
    // answering true skips it, false (or no handler) raises EReadError.
    std::function<bool(const AnsiString& message)> OnError;

    void DefineProperty(const AnsiString& name, TReadProc read, TWriteProc write,
                        bool hasData) override;
    void DefineBinaryProperty(const AnsiString& name, TStreamProc read, TStreamProc write,
                              bool hasData) override;
    void DefineObject(const AnsiString& name, TPersistent* object) override;

    void AddFixup(const AnsiString& name, std::function<void(TComponent*)> set);

private:
    struct Definition {
        TReadProc read;
        TStreamProc readBinary;
        TPersistent* object = nullptr;
    };
    void CheckValue(TValueType expected);
    void ReadRaw(void* data, size_t size) { stream_.ReadBuffer(data, int64_t(size)); }
    uint32_t ReadLength();
    std::map<AnsiString, Definition> Collect(TPersistent& instance);
    void ReadComponentBody(TComponent& component);
    bool Fail(const AnsiString& message);

    TStream& stream_;
    std::map<AnsiString, Definition>* collecting_ = nullptr;
    std::vector<TComponent*> loaded_;
    struct Fixup {
        AnsiString name;
        std::function<void(TComponent*)> set;
    };
    std::vector<Fixup> fixups_;
    int depth_ = 0;
};

// Whole descriptions to and from streams.
void WriteComponentResource(TStream& stream, TComponent& root);
void ReadComponentResource(TStream& stream, TComponent& root);

} // namespace ax
