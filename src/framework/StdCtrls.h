// The standard controls the dialogs are built from.
#pragma once

#include "Controls.h"
#include "Forms.h"

enum TAlignment { taLeftJustify, taRightJustify, taCenter };

class TLabel : public TControl {
 public:
  explicit TLabel(TComponent* owner);
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassInfo() const override { return StaticClass(); }

  TAlignment Alignment = taLeftJustify;
  bool AutoSize = true;
  bool WordWrap = false;
  // Drawn over the siblings below it, after they have painted.
  bool Transparent = false;
  bool ShowAccelChar = true;

  void SetCaption(const AnsiString& caption) override;
  void Loaded() override;
  // Fits the label to its text: with WordWrap the width stays and the height
  // grows; without it both follow the text.
  void AdjustBounds();
  bool CtlColor(HDC dc, LRESULT& brush) override;

 protected:
  void CreateParams(TCreateParams& params) override;
};

class TButton : public TControl {
 public:
  explicit TButton(TComponent* owner);
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassInfo() const override { return StaticClass(); }

  int ModalResult = 0;
  bool Default = false;  // pressed by Enter
  bool Cancel = false;   // pressed by Esc

  void Click() override;
  void CommandNotify(WORD code) override;

 protected:
  void CreateParams(TCreateParams& params) override;
};

class TEdit : public TControl {
 public:
  explicit TEdit(TComponent* owner);
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassInfo() const override { return StaticClass(); }

  AnsiString Text();
  void SetText(const AnsiString& text) { SetCaption(text); }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool v);
  AnsiString PasswordChar;                  // empty or one character
  TFormBorderStyle BorderStyle = bsSingle;  // bsNone or bsSingle
  int MaxLength = 0;
  TNotifyEvent OnChange;

  void CommandNotify(WORD code) override;
  bool CtlColor(HDC dc, LRESULT& brush) override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void AfterCreateWnd() override;

 private:
  bool readOnly_ = false;
};

enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };

class TPanel : public TControl {
 public:
  explicit TPanel(TComponent* owner);
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassInfo() const override { return StaticClass(); }

  TBevelCut BevelOuter = bvRaised;
  TBevelCut BevelInner = bvNone;

 protected:
  void CreateParams(TCreateParams& params) override;
  void Paint(HDC dc) override;
};

class TGroupBox : public TControl {
 public:
  explicit TGroupBox(TComponent* owner);
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassInfo() const override { return StaticClass(); }

 protected:
  void CreateParams(TCreateParams& params) override;
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
};

enum TBevelShape { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
enum TBevelStyle { bsLowered, bsRaised };

class TBevel : public TControl {
 public:
  explicit TBevel(TComponent* owner);
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassInfo() const override { return StaticClass(); }

  TBevelShape Shape = bsBox;
  TBevelStyle Style = bsLowered;

 protected:
  void CreateParams(TCreateParams& params) override;
  void Paint(HDC dc) override;
};

// Shows an icon or bitmap resource of the program, named by Picture.
class TImage : public TControl {
 public:
  explicit TImage(TComponent* owner);
  ~TImage() override;
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassInfo() const override { return StaticClass(); }

  const AnsiString& Picture() const { return picture_; }
  void SetPicture(const AnsiString& resourceName);
  bool Stretch = false;
  bool Center = false;
  bool HasPicture() const { return icon_ || bitmap_; }

 protected:
  void CreateParams(TCreateParams& params) override;
  void Paint(HDC dc) override;

 private:
  AnsiString picture_;
  HICON icon_ = nullptr;
  HBITMAP bitmap_ = nullptr;
};

class TProgressBar : public TControl {
 public:
  explicit TProgressBar(TComponent* owner);
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassInfo() const override { return StaticClass(); }

  int Min() const { return min_; }
  int Max() const { return max_; }
  int Position() const { return position_; }
  void SetMin(int v);
  void SetMax(int v);
  void SetPosition(int v);
  bool Smooth = false;

 protected:
  void CreateParams(TCreateParams& params) override;
  void AfterCreateWnd() override;

 private:
  int min_ = 0, max_ = 100, position_ = 0;
};
