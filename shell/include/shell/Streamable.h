#pragma once
// Bases of the explorer's persistent objects: single objects and lists of
// them, saved to and loaded from a stream or a file with a 32-bit stream
// version.
//
// Every load and save takes a version and a flag. With the flag set the
// version travels as the first 4 bytes (little-endian, signed); with it unset
// no version word is written or read and the caller's version applies, so a
// stream written without one must be read without one and the same version.
// Descendants call the base operation first and then write or read their own
// data, testing StreamVersion where their layout changed.
//
// Saving to a file is atomic: the data goes to a temporary file beside the
// target, which replaces the target only when everything was written. A
// failed save leaves the previous file exactly as it was.
#include "rtl/lists.h"
#include "rtl/streams.h"
#include "rtl/text.h"

#include <cstdint>

namespace ax {

class TStreamableClass : public TObject {
public:
    // Opens the file for reading with exclusive sharing and loads from it.
    virtual void LoadFromFile(const WideString& fileName, int32_t version, bool readVerFromStream);
    virtual void LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream);
    virtual void SaveToFile(const WideString& fileName, int32_t version, bool writeVerToStream);
    virtual void SaveToStream(TStream& stream, int32_t version, bool writeVerToStream);

    // -1 until the first load or save.
    int32_t StreamVersion() const { return streamVersion_; }
    void SetStreamVersion(int32_t version) { streamVersion_ = version; }

private:
    int32_t streamVersion_ = -1;
};

class TStreamableList : public TList {
public:
    TStreamableList() = default;
    virtual ~TStreamableList() = default;
    TStreamableList(const TStreamableList&) = delete;
    TStreamableList& operator=(const TStreamableList&) = delete;

    // Descendants that own their items free them here.
    virtual void Clear() { TList::Clear(); }

    // The file operations always stream with version 0 and no version word,
    // whatever they are given.
    virtual void LoadFromFile(const WideString& fileName, int32_t version, bool readVerFromStream);
    // Clears the list first.
    virtual void LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream);
    virtual void SaveToFile(const WideString& fileName, int32_t version, bool writeVerToStream);
    virtual void SaveToStream(TStream& stream, int32_t version, bool writeVerToStream);

    int32_t StreamVersion() const { return streamVersion_; }
    void SetStreamVersion(int32_t version) { streamVersion_ = version; }

private:
    int32_t streamVersion_ = -1;
};

} // namespace ax
