// Versioned load and save of the explorer's persistent objects and lists;
// a save to a file is atomic.
#include "shell/Streamable.h"

#include "shell/WideStrings.h"

namespace ax {
namespace {

int32_t ReadOrTakeVersion(TStream& stream, int32_t version, bool readVerFromStream) {
    return readVerFromStream ? stream.ReadValue<int32_t>() : version;
}

void WriteVersionIfAsked(TStream& stream, int32_t version, bool writeVerToStream) {
    if (writeVerToStream) stream.WriteValue<int32_t>(version);
}

} // namespace

void TStreamableClass::LoadFromFile(const WideString& fileName, int32_t version,
                                    bool readVerFromStream) {
    TWideFileStream stream(fileName, fmOpenRead | fmShareExclusive);
    LoadFromStream(stream, version, readVerFromStream);
}

void TStreamableClass::LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream) {
    streamVersion_ = ReadOrTakeVersion(stream, version, readVerFromStream);
}

void TStreamableClass::SaveToFile(const WideString& fileName, int32_t version,
                                  bool writeVerToStream) {
    SaveFileAtomically(WideToUtf8(fileName),
                       [&](TStream& stream) { SaveToStream(stream, version, writeVerToStream); });
}

void TStreamableClass::SaveToStream(TStream& stream, int32_t version, bool writeVerToStream) {
    WriteVersionIfAsked(stream, version, writeVerToStream);
    streamVersion_ = version;
}

void TStreamableList::LoadFromFile(const WideString& fileName, int32_t, bool) {
    TWideFileStream stream(fileName, fmOpenRead | fmShareExclusive);
    LoadFromStream(stream, 0, false);
}

void TStreamableList::LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream) {
    Clear();
    streamVersion_ = ReadOrTakeVersion(stream, version, readVerFromStream);
}

void TStreamableList::SaveToFile(const WideString& fileName, int32_t, bool) {
    SaveFileAtomically(WideToUtf8(fileName),
                       [&](TStream& stream) { SaveToStream(stream, 0, false); });
}

void TStreamableList::SaveToStream(TStream& stream, int32_t version, bool writeVerToStream) {
    WriteVersionIfAsked(stream, version, writeVerToStream);
    streamVersion_ = version;
}

} // namespace ax
