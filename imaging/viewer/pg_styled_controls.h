// Labels, check boxes, radio buttons, group boxes, panels and bevels that
// draw only their own text and lines, so the image below them shows. When
// one of them moves or changes, the area it covers is repainted on the
// first parent that is not itself one of them.
#pragma once

#include "platform/ui/std_controls.h"

// True for the controls of this family that let their parent show through.
bool IsTransparentPGControl(TControl* Control);

class TPGLabel : public TLabel {
public:
  explicit TPGLabel(TComponent* AOwner);
  void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;
  void Invalidate() override;

private:
  bool FInInvalidate = false;
};

class TPGBevel : public TBevel {
public:
  explicit TPGBevel(TComponent* AOwner);
  void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;
  void Invalidate() override;

private:
  bool FInInvalidate = false;
};

// What every member of the family does on a move or an invalidation: the
// old and new areas are repainted on the parent, or, when the parent is
// itself see-through, the parent's own area on its parent. InInvalidate stops
// the request from coming back through a see-through parent's children.
void InvalidateTransparentArea(TControl* Control, bool& InInvalidate);

// The windowed members: Transparent (default on) removes the background
// erase and paints the text on the parent's pixels.
template <class Base>
class TPGTransparentControl : public Base {
public:
  explicit TPGTransparentControl(TComponent* AOwner) : Base(AOwner) {}
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool Value);
  void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override {
    Invalidate();
    Base::SetBounds(ALeft, ATop, AWidth, AHeight);
  }
  void Invalidate() override;
  void WndProc(TMessage& Message) override;

protected:
  void CreateParams(TCreateParams& Params) override {
    Base::CreateParams(Params);
    Params.ExStyle |= WS_EX_TRANSPARENT;
  }

private:
  bool FTransparent = true;
  bool FInInvalidate = false;
};

class TPGRadioButton : public TPGTransparentControl<TRadioButton> {
public:
  explicit TPGRadioButton(TComponent* AOwner) : TPGTransparentControl(AOwner) {}
};

class TPGCheckBox : public TPGTransparentControl<TCheckBox> {
public:
  explicit TPGCheckBox(TComponent* AOwner) : TPGTransparentControl(AOwner) {}
};

class TPGGroupBox : public TPGTransparentControl<TGroupBox> {
public:
  explicit TPGGroupBox(TComponent* AOwner) : TPGTransparentControl(AOwner) {}
  void Invalidate() override;

protected:
  void Paint() override;
};

class TPGPanel : public TPGTransparentControl<TPanel> {
public:
  explicit TPGPanel(TComponent* AOwner) : TPGTransparentControl(AOwner) {}
  void Invalidate() override;

protected:
  void Paint() override;
};

// The frame and caption of a group box; without Transparent the box is
// filled with Color first.
void PaintGroupBoxFrame(TCanvas* Canvas, TFont* Font, bool Transparent, TColor Color, bool Ctl3D,
                        const std::string& Caption, int32_t Width, int32_t Height);
