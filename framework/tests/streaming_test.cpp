#include <gtest/gtest.h>

#include "framework/streaming.h"

namespace ax {
namespace {

class Sub : public TPersistent {
public:
    int size = 0;
    AnsiString ClassName() const override { return "Sub"; }
    void DefinePublished(TFiler& f) override {
        f.Integer("Size", [this] { return size; }, [this](int64_t v) { size = int(v); }, 0);
    }
};

class Panel : public TCollectionItem {
public:
    using TCollectionItem::TCollectionItem;
    int width = 0;
    void DefinePublished(TFiler& f) override {
        f.Integer("Width", [this] { return width; }, [this](int64_t v) { width = int(v); }, std::nullopt);
    }
};

class ProbeChild : public TComponent {
public:
    using TComponent::TComponent;
    AnsiString ClassName() const override { return "TProbeChild"; }
    int count = 0;
    TComponent* parent = nullptr;
    int loaded = 0;
    bool readingWhenLoaded = true;
    void DefinePublished(TFiler& f) override {
        TComponent::DefinePublished(f);
        f.Integer("Count", [this] { return count; }, [this](int64_t v) { count = int(v); }, 0);
    }
    void SetParentComponent(TComponent* p) override { parent = p; }
    void Loaded() override {
        readingWhenLoaded = HasState(csReading);
        TComponent::Loaded();
        ++loaded;
    }
};

class ProbeForm : public TComponent {
public:
    explicit ProbeForm(TComponent* owner)
        : TComponent(owner), panels([](TCollection* c) { return std::make_unique<Panel>(c); }) {}
    AnsiString ClassName() const override { return "TProbeForm"; }
    int64_t count = 0, small = 0, big = 0, neg = 0;
    AnsiString title;
    bool flag = false;
    int kind = 0;
    unsigned options = 0;
    TStringList lines;
    Sub font;
    TCollection panels;
    int internalVersion = 0;
    std::vector<uint8_t> icons;
    TComponent* buddy = nullptr;
    int loaded = 0;

    void DefinePublished(TFiler& f) override {
        TComponent::DefinePublished(f);
        f.Integer("Count", [this] { return count; }, [this](int64_t v) { count = v; }, 0);
        f.Integer("Small", [this] { return small; }, [this](int64_t v) { small = v; }, 0);
        f.Integer("Big", [this] { return big; }, [this](int64_t v) { big = v; }, 0);
        f.Integer("Neg", [this] { return neg; }, [this](int64_t v) { neg = v; }, 0);
        f.String("Title", [this] { return title; }, [this](const AnsiString& v) { title = v; });
        f.Bool("Flag", [this] { return flag; }, [this](bool v) { flag = v; }, false);
        f.Enum("Kind", {"bsNone", "bsSingle"}, [this] { return kind; }, [this](int v) { kind = v; }, 0);
        f.Set("Options", {"a", "b", "c"}, [this] { return options; }, [this](unsigned v) { options = v; }, 0u);
        f.Strings("Lines", lines);
        f.DefineObject("Font", &font);
        f.Collection("Panels", panels);
        f.ComponentRef("Buddy", [this] { return buddy; }, [this](TComponent* c) { buddy = c; });
    }
    void DefineProperties(TFiler& f) override {
        f.DefineProperty(
            "InternalVersion", [this](TReader& r) { internalVersion = r.ReadInteger(); },
            [](TWriter& w) { w.WriteInteger(202); }, true);
        f.DefineBinaryProperty(
            "Icons",
            [this](TStream& s) {
                icons.resize(size_t(s.Size()));
                s.ReadBuffer(icons.data(), s.Size());
            },
            [this](TStream& s) { s.WriteBuffer(icons.data(), int64_t(icons.size())); }, !icons.empty());
    }
    void GetChildren(const std::function<void(TComponent*)>& proc, TComponent*) override {
        for (int i = 0; i < ComponentCount(); ++i) proc(Components(i));
    }
    void Loaded() override {
        TComponent::Loaded();
        ++loaded;
    }
};

void Put(std::vector<uint8_t>& out, std::initializer_list<int> bytes) {
    for (int b : bytes) out.push_back(uint8_t(b));
}
void PutStr(std::vector<uint8_t>& out, const std::string& s) {
    out.push_back(uint8_t(s.size()));
    out.insert(out.end(), s.begin(), s.end());
}

// The description of the sample form, byte by byte.
std::vector<uint8_t> ExpectedBytes() {
    std::vector<uint8_t> b;
    Put(b, {'T', 'P', 'F', '0'});
    PutStr(b, "TProbeForm");
    PutStr(b, "Form1");
    PutStr(b, "Count"), Put(b, {0x03, 0xC8, 0x00});              // 200 does not fit a signed byte
    PutStr(b, "Small"), Put(b, {0x02, 0x80});                    // -128
    PutStr(b, "Big"), Put(b, {0x04, 0x70, 0x11, 0x01, 0x00});    // 70000
    PutStr(b, "Neg"), Put(b, {0x03, 0x7F, 0xFF});                // -129
    PutStr(b, "Title"), Put(b, {0x06, 0x02, 'H', 'i'});
    PutStr(b, "Flag"), Put(b, {0x09});
    PutStr(b, "Kind"), Put(b, {0x07}), PutStr(b, "bsSingle");
    PutStr(b, "Options"), Put(b, {0x0B, 0x01, 'a', 0x01, 'c', 0x00});
    PutStr(b, "Lines.Strings"), Put(b, {0x01, 0x06, 0x01, 'x', 0x06, 0x02, 'y', 'z', 0x00});
    PutStr(b, "Font.Size"), Put(b, {0x02, 0x08});
    PutStr(b, "Panels");
    Put(b, {0x0E, 0x01}), PutStr(b, "Width"), Put(b, {0x02, 0x32, 0x00});
    Put(b, {0x01}), PutStr(b, "Width"), Put(b, {0x03, 0x2C, 0x01, 0x00, 0x00});
    PutStr(b, "Buddy"), Put(b, {0x07}), PutStr(b, "Child1");
    PutStr(b, "InternalVersion"), Put(b, {0x03, 0xCA, 0x00});
    PutStr(b, "Icons"), Put(b, {0x0A, 0x03, 0x00, 0x00, 0x00, 0x01, 0x02, 0x03});
    Put(b, {0x00}); // end of the form's properties
    PutStr(b, "TProbeChild");
    PutStr(b, "Child1");
    PutStr(b, "Count"), Put(b, {0x02, 0x01});
    Put(b, {0x00, 0x00}); // child: end of properties, no children
    Put(b, {0x00});       // end of the form's children
    return b;
}

class Streaming : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterComponentClass<ProbeChild>("TProbeChild");
    }
};

void FillSample(ProbeForm& form) {
    form.SetName("Form1");
    form.count = 200;
    form.small = -128;
    form.big = 70000;
    form.neg = -129;
    form.title = "Hi";
    form.flag = true;
    form.kind = 1;
    form.options = 0b101;
    form.lines.Add("x");
    form.lines.Add("yz");
    form.font.size = 8;
    static_cast<Panel*>(form.panels.Add())->width = 50;
    static_cast<Panel*>(form.panels.Add())->width = 300;
    form.icons = {1, 2, 3};
    auto* child = TComponent::Create<ProbeChild>(&form);
    child->SetName("Child1");
    child->count = 1;
    form.buddy = child;
}

TEST_F(Streaming, WritesTheDescriptionByteForByte) {
    ProbeForm form(nullptr);
    FillSample(form);
    TMemoryStream out;
    WriteComponentResource(out, form);
    EXPECT_EQ(out.Bytes(), ExpectedBytes());
}

TEST_F(Streaming, ReadsTheDescriptionBack) {
    TMemoryStream in(ExpectedBytes());
    ProbeForm form(nullptr);
    ReadComponentResource(in, form);
    EXPECT_EQ(form.Name(), "Form1");
    EXPECT_EQ(form.count, 200);
    EXPECT_EQ(form.small, -128);
    EXPECT_EQ(form.big, 70000);
    EXPECT_EQ(form.neg, -129);
    EXPECT_EQ(form.title, "Hi");
    EXPECT_TRUE(form.flag);
    EXPECT_EQ(form.kind, 1);
    EXPECT_EQ(form.options, 0b101u);
    ASSERT_EQ(form.lines.Count(), 2);
    EXPECT_EQ(form.lines[1], "yz");
    EXPECT_EQ(form.font.size, 8);
    ASSERT_EQ(form.panels.Count(), 2);
    EXPECT_EQ(static_cast<Panel*>(form.panels.Items(1))->width, 300);
    EXPECT_EQ(form.internalVersion, 202);
    EXPECT_EQ(form.icons, (std::vector<uint8_t>{1, 2, 3}));
    ASSERT_EQ(form.ComponentCount(), 1);
    auto* child = dynamic_cast<ProbeChild*>(form.Components(0));
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->Name(), "Child1");
    EXPECT_EQ(child->count, 1);
    EXPECT_EQ(child->parent, &form);
    // The reference named before the child existed is fixed up at the end.
    EXPECT_EQ(form.buddy, child);
    EXPECT_EQ(form.loaded, 1);
    EXPECT_EQ(child->loaded, 1);
    EXPECT_FALSE(child->readingWhenLoaded);
    EXPECT_FALSE(form.HasState(csLoading | csReading));
}

TEST_F(Streaming, IntegerTagsAreTheSmallestSignedOnes) {
    struct Case {
        int64_t value;
        std::vector<uint8_t> bytes;
    };
    const std::vector<Case> cases = {
        {0, {0x02, 0x00}},
        {127, {0x02, 0x7F}},
        {128, {0x03, 0x80, 0x00}},
        {200, {0x03, 0xC8, 0x00}},
        {-1, {0x02, 0xFF}},
        {32767, {0x03, 0xFF, 0x7F}},
        {32768, {0x04, 0x00, 0x80, 0x00, 0x00}},
        {-32769, {0x04, 0xFF, 0x7F, 0xFF, 0xFF}},
        {int64_t(1) << 32, {0x13, 0, 0, 0, 0, 1, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        TMemoryStream s;
        TWriter w(s);
        w.WriteInteger(c.value);
        EXPECT_EQ(s.Bytes(), c.bytes) << c.value;
        s.SetPosition(0);
        TReader r(s);
        EXPECT_EQ(r.ReadInt64(), c.value);
    }
}

TEST_F(Streaming, OtherValueKinds) {
    TMemoryStream s;
    TWriter w(s);
    const std::string longText(300, 'q');
    w.WriteString(longText);
    w.WriteFloat(2.5);
    w.WriteIdent("False");
    w.WriteIdent("nil");
    w.WriteBinary({});
    const auto& b = s.Bytes();
    ASSERT_EQ(b[0], 0x0C);
    EXPECT_EQ(b[1] | (b[2] << 8), 300);
    s.SetPosition(0);
    TReader r(s);
    EXPECT_EQ(r.ReadString(), longText);
    EXPECT_DOUBLE_EQ(r.ReadFloat(), 2.5);
    EXPECT_EQ(r.ReadIdent(), "False");
    EXPECT_EQ(r.ReadIdent(), "nil");
    EXPECT_TRUE(r.ReadBinary().empty());
    EXPECT_THROW(r.ReadValue(), EReadError);

    // UTF-16 strings of older descriptions read as UTF-8.
    TMemoryStream ws(std::vector<uint8_t>{0x12, 0x02, 0, 0, 0, 0xE9, 0x00, 'a', 0x00});
    TReader wr(ws);
    EXPECT_EQ(wr.ReadString(), "\xC3\xA9" "a");
}

TEST_F(Streaming, UnknownPropertiesRaiseUnlessSkipped) {
    auto bytes = ExpectedBytes();
    // Rename "Count" of the form to "Cxunt".
    bytes[4 + 11 + 6 + 2] = 'x';
    {
        TMemoryStream in(bytes);
        ProbeForm form(nullptr);
        try {
            ReadComponentResource(in, form);
            FAIL();
        } catch (const EReadError& e) {
            EXPECT_STREQ(e.what(), "Property Cxunt does not exist");
        }
        EXPECT_FALSE(form.HasState(csReading));
    }
    TMemoryStream in(bytes);
    ProbeForm form(nullptr);
    TReader reader(in);
    std::vector<std::string> errors;
    reader.OnError = [&](const AnsiString& m) {
        errors.push_back(m);
        return true;
    };
    reader.ReadRootComponent(form);
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_EQ(form.count, 0);
    EXPECT_EQ(form.small, -128); // the rest read normally
    EXPECT_EQ(form.ComponentCount(), 1);
}

TEST_F(Streaming, UnknownClassIsReportedOrSkipped) {
    auto bytes = ExpectedBytes();
    auto pos = std::search(bytes.begin(), bytes.end(), std::begin("TProbeChild"), std::end("TProbeChild") - 1);
    ASSERT_NE(pos, bytes.end());
    pos[6] = 'X'; // TProbeXhild
    TMemoryStream in(bytes);
    ProbeForm form(nullptr);
    EXPECT_THROW(ReadComponentResource(in, form), EReadError);
    TMemoryStream again(bytes);
    ProbeForm second(nullptr);
    TReader reader(again);
    reader.OnError = [](const AnsiString&) { return true; };
    reader.ReadRootComponent(second);
    EXPECT_EQ(second.ComponentCount(), 0);
    EXPECT_EQ(second.buddy, nullptr);
}

// Damaged descriptions end in EReadError, never in a crash or a hang.
TEST_F(Streaming, EveryTruncationFailsCleanly) {
    const auto bytes = ExpectedBytes();
    for (size_t n = 0; n < bytes.size(); ++n) {
        TMemoryStream in(std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(n)));
        ProbeForm form(nullptr);
        EXPECT_THROW(ReadComponentResource(in, form), EReadError) << n;
    }
}

// A load that fails midway frees the child it was making and leaves nothing loading or updating.
TEST_F(Streaming, FailedLoadLeavesNothingHalfRead) {
    const auto bytes = ExpectedBytes();
    for (size_t n = 0; n < bytes.size(); ++n) {
        TMemoryStream in(std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(n)));
        ProbeForm form(nullptr);
        EXPECT_THROW(ReadComponentResource(in, form), EReadError) << n;
        EXPECT_FALSE(form.HasState(csLoading | csReading)) << n;
        EXPECT_EQ(form.panels.UpdateCount(), 0) << n;
        for (int i = 0; i < form.ComponentCount(); ++i)
            EXPECT_FALSE(form.Components(i)->HasState(csLoading | csReading)) << n;
    }
}

TEST_F(Streaming, EverySingleByteDamageIsSurvived) {
    const auto bytes = ExpectedBytes();
    for (size_t i = 0; i < bytes.size(); ++i) {
        for (int v : {0x00, 0x01, 0x0A, 0x0C, 0x0E, 0x7F, 0xF2, 0xFF}) {
            auto damaged = bytes;
            damaged[i] = uint8_t(v);
            TMemoryStream in(damaged);
            ProbeForm form(nullptr);
            TReader reader(in);
            reader.OnError = [](const AnsiString&) { return true; };
            try {
                reader.ReadRootComponent(form);
            } catch (const Exception&) {
            }
        }
    }
}

TEST_F(Streaming, HugeLengthsAndDeepNestingAreRefused) {
    std::vector<uint8_t> b = {'T', 'P', 'F', '0'};
    PutStr(b, "TProbeForm");
    PutStr(b, "F");
    PutStr(b, "Icons");
    Put(b, {0x0A, 0xFF, 0xFF, 0xFF, 0x7F, 1, 2});
    TMemoryStream in(b);
    ProbeForm form(nullptr);
    EXPECT_THROW(ReadComponentResource(in, form), EReadError);

    std::vector<uint8_t> deep = {'T', 'P', 'F', '0'};
    PutStr(deep, "TProbeForm");
    PutStr(deep, "F");
    PutStr(deep, "Zzz");
    for (int i = 0; i < 100000; ++i) deep.push_back(0x01);
    TMemoryStream deepIn(deep);
    ProbeForm second(nullptr);
    TReader reader(deepIn);
    reader.OnError = [](const AnsiString&) { return true; };
    EXPECT_THROW(reader.ReadRootComponent(second), EReadError);
}

// A property name longer than the highest value tag (21) is still a name.
class LongNames : public TComponent {
public:
    using TComponent::TComponent;
    AnsiString ClassName() const override { return "TLongNames"; }
    int value = 0;
    void DefinePublished(TFiler& f) override {
        TComponent::DefinePublished(f);
        f.Integer("AVeryLongPropertyNameIndeed", [this] { return value; }, [this](int64_t v) { value = int(v); }, 0);
    }
};

TEST_F(Streaming, LongPropertyNamesReadBack) {
    LongNames out(nullptr);
    out.SetName("L1");
    out.value = 5;
    TMemoryStream s;
    WriteComponentResource(s, out);
    s.SetPosition(0);
    LongNames in(nullptr);
    ReadComponentResource(s, in);
    EXPECT_EQ(in.value, 5);
}

TEST_F(Streaming, BadSignature) {
    TMemoryStream in(std::vector<uint8_t>{'T', 'P', 'F', '1', 0, 0, 0, 0});
    ProbeForm form(nullptr);
    try {
        ReadComponentResource(in, form);
        FAIL();
    } catch (const EReadError& e) {
        EXPECT_STREQ(e.what(), "Invalid stream format");
    }
}

} // namespace
} // namespace ax
