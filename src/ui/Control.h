#pragma once

#include <memory>
#include <string>

#include "base/Component.h"

class TForm;

// A platform window handle (HWND on Win32; an opaque non-null value headless).
using TWinHandle = void*;

enum class TAlign { alNone, alTop };

struct TMargins {
  int Left = 3;
  int Top = 3;
  int Right = 3;
  int Bottom = 3;
};

struct TFont {
  std::string Name = "Tahoma";
  int Height = -11;  // negative: character height in pixels at 96 pixels per inch
  bool Bold = false;
};

// A visible element of a form: the form itself or one of its child controls. Sizes given to
// it are design pixels at 96 pixels per inch; the form scales them to the screen's density.
class TControl : public TComponent {
 public:
  ~TControl() override;

  // The platform window of the control.
  TWinHandle Handle() const;

  TAlign Align = TAlign::alNone;
  bool AlignWithMargins = false;
  TMargins Margins;

  // Bounds in screen pixels relative to the parent's client area, as last laid out.
  int Left() const { return FLeft; }
  int Top() const { return FTop; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }

  // Design height (96 pixels per inch); controls that size themselves ignore it.
  int DesignHeight = 0;

  // The platform half (ui/ControlPeer.h).
  struct TPeer;
  struct TPeerDeleter {
    void operator()(TPeer* APeer) const noexcept;
  };
  TPeer& Peer() const { return *FPeer; }

 protected:
  explicit TControl(TForm* AParent);
  // The height the control wants at the current density (labels size to their font).
  virtual int AutoHeight() const;
  // The form's density has changed: what the control derives from it (its font) is made anew.
  virtual void DensityChanged() {}
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);

  TForm* FParent;
  std::unique_ptr<TPeer, TPeerDeleter> FPeer;

 private:
  friend class TForm;
  int FLeft = 0;
  int FTop = 0;
  int FWidth = 0;
  int FHeight = 0;
};
