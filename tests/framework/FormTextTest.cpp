// Components with owners, and form texts: reading applies values in stored
// order, writing leaves defaults out, and a text survives the round trip.
#include <gtest/gtest.h>

#include "FormText.h"
#include "Timer.h"

namespace {

std::vector<std::string>* setterLog = nullptr;
void Log(const std::string& entry) {
  if (setterLog) setterLog->push_back(entry);
}

class TTestSub : public TPersistent {
 public:
  static const TClassInfo& StaticClass() {
    using P = Props<TTestSub>;
    static const TClassInfo info{
        "TTestSub",
        &TPersistent::StaticClass(),
        {P::IntField("Value", &TTestSub::Value, 0), P::StringsField("Lines", &TTestSub::Lines)},
        {},
        {}};
    return info;
  }
  const TClassInfo& ClassInfo() const override { return StaticClass(); }
  int Value = 0;
  TStringsValue Lines;
};

enum TTestKind { tkPlain, tkFancy };

class TTestWidget : public TComponent {
 public:
  explicit TTestWidget(TComponent* owner) : TComponent(owner) {}
  ~TTestWidget() override {
    if (destroyed) *destroyed = true;
  }
  static const TClassInfo& StaticClass() {
    using P = Props<TTestWidget>;
    static const TClassInfo info{
        "TTestWidget",
        &TComponent::StaticClass(),
        {P::Str(
             "Caption", [](const TTestWidget& w) { return w.caption; },
             [](TTestWidget& w, const std::string& v) {
               Log("Caption");
               w.caption = v;
             }),
         P::Int(
             "Count", [](const TTestWidget& w) { return w.count; },
             [](TTestWidget& w, int v) {
               Log("Count");
               w.count = v;
             },
             3),
         P::EnumField("Kind", &TTestWidget::Kind, {"tkPlain", "tkFancy"}, tkPlain),
         P::Set(
             "Flags", [](const TTestWidget& w) { return w.Flags; },
             [](TTestWidget& w, unsigned v) { w.Flags = v; }, {"wfOne", "wfTwo", "wfThree"}, 0u),
         P::Binary(
             "Data", [](const TTestWidget& w) { return w.Data; },
             [](TTestWidget& w, const TBytes& v) { w.Data = v; }),
         P::StoredWhen(P::BoolField("Secret", &TTestWidget::Secret, false),
                       [](const TTestWidget&) { return false; }),
         P::Object("Sub", [](TTestWidget& w) { return &w.Sub; }),
         P::Event("OnFire", &TTestWidget::OnFire)},
        {},
        {}};
    return info;
  }
  const TClassInfo& ClassInfo() const override { return StaticClass(); }
  void Loaded() override {
    Log("Loaded " + Name());
    TComponent::Loaded();
  }

  std::string caption;
  int count = 3;
  TTestKind Kind = tkPlain;
  unsigned Flags = 0;
  TBytes Data;
  bool Secret = false;
  TTestSub Sub;
  TNotifyEvent OnFire;
  bool* destroyed = nullptr;
};

class TTestRoot : public TComponent {
 public:
  explicit TTestRoot(TComponent* owner) : TComponent(owner) {}
  static const TClassInfo& StaticClass() {
    using P = Props<TTestRoot>;
    static const TClassInfo info{
        "TTestRoot",
        &TComponent::StaticClass(),
        {},
        {P::Field("First", &TTestRoot::First), P::Field("Second", &TTestRoot::Second),
         P::Field("Clock", &TTestRoot::Clock)},
        {P::Method("Fire", &TTestRoot::Fire)}};
    return info;
  }
  const TClassInfo& ClassInfo() const override { return StaticClass(); }
  void Fire(TObject* sender) { fired.push_back(sender); }

  TTestWidget* First = nullptr;
  TTestWidget* Second = nullptr;
  TTimer* Clock = nullptr;
  std::vector<TObject*> fired;
};

// Canonical: properties in declaration order, no default values.
const char kCanonical[] =
    "object Root: TTestRoot\n"
    "  object First: TTestWidget\n"
    "    Caption = \"Hello \\\"world\\\"\\n\"\n"
    "    Count = -7\n"
    "    Kind = tkFancy\n"
    "    Flags = [wfOne, wfThree]\n"
    "    Data = {\n"
    "      00FF10AB}\n"
    "    Sub.Value = 12\n"
    "    Sub.Lines = (\n"
    "      \"a\"\n"
    "      \"\"\n"
    "      \"c d\")\n"
    "    OnFire = Fire\n"
    "  end\n"
    "  object Second: TTestWidget\n"
    "  end\n"
    "  object Clock: TTimer\n"
    "    Enabled = False\n"
    "    Interval = 250\n"
    "  end\n"
    "end\n";

TEST(FormText, RoundTripKeepsValuesAndLeavesDefaultsOut) {
  TTestRoot root(nullptr);
  ReadComponent(&root, ParseFormText(kCanonical));

  ASSERT_NE(root.First, nullptr);
  ASSERT_NE(root.Second, nullptr);
  ASSERT_NE(root.Clock, nullptr);
  EXPECT_EQ(root.First->Owner(), &root);
  EXPECT_EQ(root.First->caption, "Hello \"world\"\n");
  EXPECT_EQ(root.First->count, -7);
  EXPECT_EQ(root.First->Kind, tkFancy);
  EXPECT_EQ(root.First->Flags, 5u);
  EXPECT_EQ(root.First->Data, (TBytes{0x00, 0xFF, 0x10, 0xAB}));
  EXPECT_EQ(root.First->Sub.Value, 12);
  EXPECT_EQ(root.First->Sub.Lines, (TStringsValue{"a", "", "c d"}));
  EXPECT_EQ(root.Second->count, 3);
  EXPECT_FALSE(root.Clock->Enabled());
  EXPECT_EQ(root.Clock->Interval(), 250u);

  root.First->OnFire(root.First);
  ASSERT_EQ(root.fired.size(), 1u);
  EXPECT_EQ(root.fired[0], root.First);

  EXPECT_EQ(FormatFormText(WriteComponent(&root)), kCanonical);
}

TEST(FormText, AppliesValuesInStoredOrderThenCallsLoaded) {
  std::vector<std::string> log;
  setterLog = &log;
  TTestRoot root(nullptr);
  ReadComponent(&root, ParseFormText("object Root: TTestRoot\n"
                                     "  object First: TTestWidget\n"
                                     "    Count = 1\n"
                                     "    Caption = \"x\"\n"
                                     "  end\n"
                                     "  object Second: TTestWidget\n"
                                     "    Caption = \"y\"\n"
                                     "    Count = 2\n"
                                     "  end\n"
                                     "end\n"));
  setterLog = nullptr;
  EXPECT_EQ(log, (std::vector<std::string>{"Count", "Caption", "Caption", "Count", "Loaded First",
                                           "Loaded Second"}));
  EXPECT_FALSE(root.First->IsLoading());
}

TEST(FormText, StoredRuleAndAssignFromNothing) {
  TTestWidget widget(nullptr);
  widget.Secret = true;
  widget.Sub.Value = 4;
  widget.count = 9;
  std::string text = FormatFormText(WriteComponent(&widget));
  EXPECT_EQ(text.find("Secret"), std::string::npos) << text;

  TTestWidget copy(nullptr);
  copy.Assign(&widget);
  EXPECT_EQ(copy.count, 9);
  EXPECT_EQ(copy.Sub.Value, 4);

  copy.Assign(nullptr);  // back to the defaults
  EXPECT_EQ(copy.count, 3);
  EXPECT_EQ(copy.Sub.Value, 0);
  EXPECT_FALSE(copy.Secret);
}

struct BadText {
  const char* text;
  const char* messagePart;
};

class FormTextErrors : public ::testing::TestWithParam<BadText> {};

TEST_P(FormTextErrors, RaiseReadErrorNamingTheProblem) {
  TTestRoot root(nullptr);
  try {
    ReadComponent(&root, ParseFormText(GetParam().text));
    FAIL() << "no error for: " << GetParam().text;
  } catch (const EReadError& e) {
    EXPECT_NE(std::string(e.what()).find(GetParam().messagePart), std::string::npos) << e.what();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FormTextErrors,
    ::testing::Values(
        BadText{"object Root: TTestRoot\n  object First: TTestWidget\n    Colour = 1\n  end\nend\n",
                "Colour"},
        BadText{"object Root: TTestRoot\n  object Third: TTestWidget\n  end\nend\n", "Third"},
        BadText{"object Root: TTestRoot\n  object First: TTimer\n  end\nend\n", "First"},
        BadText{
            "object Root: TTestRoot\n  object First: TTestWidget\n    Kind = tkOdd\n  end\nend\n",
            "Kind"},
        BadText{
            "object Root: TTestRoot\n  object First: TTestWidget\n    Count = \"x\"\n  end\nend\n",
            "Count"},
        BadText{"object Root: TTestRoot\n  object First: TTestWidget\n    OnFire = Missing\n  "
                "end\nend\n",
                "Missing"},
        BadText{"object Root: TTestRoot\n  object First: TTestWidget\n    Count = 1\n", "line 4"},
        BadText{"object Root: TTestRoot\n  Caption = \"open\nend\n", "line 2"},
        BadText{"object Root: TOther\nend\n", "TOther"}));

TEST(Components, OwnerDestroysWhatItOwnsAndChildrenLeaveTheirOwner) {
  bool destroyed[3] = {};
  auto* owner = new TComponent(nullptr);
  auto* a = new TTestWidget(owner);
  auto* b = new TTestWidget(owner);
  auto* grandchild = new TTestWidget(a);
  a->destroyed = &destroyed[0];
  b->destroyed = &destroyed[1];
  grandchild->destroyed = &destroyed[2];
  EXPECT_EQ(owner->ComponentCount(), 2);

  delete b;  // leaves its owner, which must not free it again
  EXPECT_TRUE(destroyed[1]);
  EXPECT_EQ(owner->ComponentCount(), 1);
  EXPECT_EQ(owner->Components()[0], a);

  delete owner;
  EXPECT_TRUE(destroyed[0]);
  EXPECT_TRUE(destroyed[2]);
}

}  // namespace
