#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/Application.h"
#include "ui/Control.h"

enum class TCloseAction { caNone, caHide, caFree, caMinimize };

// A top-level window: a fixed dialog frame with only the close button, an inner border, a
// client area of a design size, centred on the screen, in the dialog background colour.
class TForm : public TControl {
 public:
  TForm();
  ~TForm() override;

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& ACaption);

  // Design values (96 pixels per inch), applied by Loaded().
  int BorderWidth = 0;
  int ClientWidth = 0;
  int ClientHeight = 0;
  TFont Font;

  std::function<void(TComponent* Sender)> OnCreate;
  std::function<void(TComponent* Sender, TCloseAction& Action)> OnClose;

  // The density of the screen the window is on, and the scaling of a design value to it.
  int ScreenPixelsPerInch() const;
  int Scale(int ADesignValue) const;

  // Applies the design values: size, position, caption and the children's alignment. The
  // client grows beyond its design width where the caption or the content needs it, to at
  // most twice that width, and beyond its design height where the children need it.
  void Loaded();
  // The window has moved to a screen of another density: fonts, sizes and alignment follow it.
  // The platform then places the window where the system suggests.
  void DensityChanged();

  void Show();
  void Hide();
  bool Visible() const;

  // The close request (close button, Alt+F4, system menu): runs OnClose; for the main form
  // a close that is not refused ends the application instead of hiding the window.
  void Close();

 protected:
  // The client width (screen pixels) the content needs at the current density; 0: no more
  // than the design width.
  virtual int ContentWidth() const { return 0; }
  // The content needs more room than ContentWidth gave before (a text no design foresaw): the
  // client grows as for Loaded, and the window stays where it is.
  void ContentGrew();

 private:
  friend class TControl;
  void AddChild(TControl* AChild);
  void RemoveChild(TControl* AChild);
  // Lays the children out; returns the bottom of the lowest.
  int Realign();
  void ApplyFrame(bool ACentre = true);

  std::string FCaption;
  std::vector<TControl*> FChildren;
};

template <class T>
void TApplication::CreateForm(T*& AReference) {
  auto form = std::make_unique<T>();
  AReference = form.get();
  AdoptForm(std::move(form));
}
