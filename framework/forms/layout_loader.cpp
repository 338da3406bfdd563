// Builds a form and its controls from its layout resource.
#include <strings.h>

#include <cstdlib>

#include "framework/classes/stream.h"
#include "framework/forms/form.h"
#include "framework/forms/image.h"
#include "framework/forms/label.h"
#include "framework/forms/layout.h"

namespace {

struct NamedColor {
  const char* name;
  TColor color;
};

// The colour names a layout may use; the system colours resolve to fixed values.
constexpr NamedColor kColors[] = {
    {"clBlack", 0x000000},  {"clMaroon", 0x000080},         {"clGreen", 0x008000},
    {"clOlive", 0x008080},  {"clNavy", 0x800000},           {"clPurple", 0x800080},
    {"clTeal", 0x808000},   {"clGray", 0x808080},           {"clSilver", 0xC0C0C0},
    {"clRed", 0x0000FF},    {"clLime", 0x00FF00},           {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},   {"clFuchsia", 0xFF00FF},        {"clAqua", 0xFFFF00},
    {"clWhite", 0xFFFFFF},  {"clWindowText", clWindowText}, {"clBtnFace", clBtnFace},
    {"clWindow", 0xFFFFFF}, {"clBtnText", 0x000000},
};

constexpr const char* kCharsets[] = {"DEFAULT_CHARSET", "ANSI_CHARSET", "EASTEUROPE_CHARSET",
                                     "OEM_CHARSET"};

bool Is(const AnsiString& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

}  // namespace

// Friend of TForm: records event bindings in the form's handler table.
class TLayoutLoader {
 public:
  TLayoutLoader(TForm& form, const AnsiString& className) : form_(form), className_(className) {}

  void Load(const TLayoutObject& root) {
    if (root.className != className_) {
      throw ELayoutError("Layout line " + std::to_string(root.line) + ": the layout of " +
                         className_ + " describes class " + root.className);
    }
    form_.Name = root.name;
    for (const TLayoutProperty& property : root.properties) ApplyFormProperty(property);
    for (const TLayoutObject& child : root.children) LoadControl(child);
  }

 private:
  [[noreturn]] void Fail(const TLayoutProperty& property, const AnsiString& owner,
                         const AnsiString& what) const {
    throw ELayoutError("Layout line " + std::to_string(property.line) + ": " + owner + "." +
                       property.name + ": " + what);
  }
  [[noreturn]] void Unknown(const TLayoutProperty& property, const TComponent& owner) const {
    Fail(property, owner.Name, AnsiString("unknown property of ") + owner.ClassName());
  }

  void Require(const TLayoutProperty& property, const TComponent& owner,
               TLayoutValue::Kind kind) const {
    if (property.value.kind == kind) return;
    static const char* const kNames[] = {"an integer", "a string", "a name", "a set",
                                         "binary data"};
    Fail(property, owner.Name,
         AnsiString(kNames[static_cast<int>(kind)]) + " was expected as the value");
  }

  int Integer(const TLayoutProperty& property, const TComponent& owner) const {
    Require(property, owner, TLayoutValue::Kind::Integer);
    const std::int64_t value = property.value.integer;
    if (value < -1000000 || value > 1000000) Fail(property, owner.Name, "value out of range");
    return static_cast<int>(value);
  }

  bool Boolean(const TLayoutProperty& property, const TComponent& owner) const {
    Require(property, owner, TLayoutValue::Kind::Identifier);
    if (Is(property.value.text, "True")) return true;
    if (Is(property.value.text, "False")) return false;
    Fail(property, owner.Name, "True or False expected");
  }

  TColor Color(const TLayoutProperty& property, const TComponent& owner) const {
    if (property.value.kind == TLayoutValue::Kind::Integer) {
      const std::int64_t value = property.value.integer;
      if (value < 0 || value > 0xFFFFFF) Fail(property, owner.Name, "colour out of range");
      return static_cast<TColor>(value);
    }
    Require(property, owner, TLayoutValue::Kind::Identifier);
    for (const NamedColor& named : kColors) {
      if (Is(property.value.text, named.name)) return named.color;
    }
    Fail(property, owner.Name, "unknown colour " + property.value.text);
  }

  // Font.* properties; false when the name is not one of them.
  bool ApplyFontProperty(const TLayoutProperty& property, const TComponent& owner, TFont& font) {
    const AnsiString& name = property.name;
    if (Is(name, "Font.Name")) {
      Require(property, owner, TLayoutValue::Kind::String);
      font.Name = property.value.text;
    } else if (Is(name, "Font.Height")) {
      font.Height = Integer(property, owner);
    } else if (Is(name, "Font.Size")) {
      // Points at the layout's 96 pixels per inch.
      font.Height = -((Integer(property, owner) * 96 + 36) / 72);
    } else if (Is(name, "Font.Color")) {
      font.Color = Color(property, owner);
    } else if (Is(name, "Font.Charset")) {
      // Captions are shown as UTF-8 whatever the charset says; only the names are checked.
      if (property.value.kind == TLayoutValue::Kind::Integer) {
        Integer(property, owner);
      } else {
        Require(property, owner, TLayoutValue::Kind::Identifier);
        bool known = false;
        for (const char* charset : kCharsets) known = known || Is(property.value.text, charset);
        if (!known) Fail(property, owner.Name, "unknown charset " + property.value.text);
      }
    } else if (Is(name, "Font.Style")) {
      Require(property, owner, TLayoutValue::Kind::Set);
      if (!property.value.items.empty()) {
        Fail(property, owner.Name, "font styles are not supported (only [] is)");
      }
    } else {
      return false;
    }
    return true;
  }

  void BindEvent(const TLayoutProperty& property, const TComponent& owner, TNotifyEvent& event) {
    Require(property, owner, TLayoutValue::Kind::Identifier);
    if (property.value.text.find('.') != AnsiString::npos) {
      Fail(property, owner.Name, "a handler name was expected");
    }
    form_.handlers_[property.value.text].events.push_back(&event);
  }

  // Properties every control has; false when the name is not one of them.
  bool ApplyControlProperty(const TLayoutProperty& property, TControl& control) {
    const AnsiString& name = property.name;
    if (Is(name, "Left")) {
      control.Left = Integer(property, control);
    } else if (Is(name, "Top")) {
      control.Top = Integer(property, control);
    } else if (Is(name, "Width")) {
      control.Width = Integer(property, control);
    } else if (Is(name, "Height")) {
      control.Height = Integer(property, control);
    } else if (Is(name, "Visible")) {
      control.Visible = Boolean(property, control);
    } else if (Is(name, "OnClick")) {
      BindEvent(property, control, control.OnClick);
    } else {
      return false;
    }
    return true;
  }

  void ApplyFormProperty(const TLayoutProperty& property) {
    const AnsiString& name = property.name;
    TForm& form = form_;
    if (Is(name, "Visible")) {
      // A form turns visible when it is shown; the stored flag plays no part.
      Boolean(property, form);
    } else if (ApplyControlProperty(property, form) ||
               ApplyFontProperty(property, form, form.Font)) {
    } else if (Is(name, "Caption")) {
      Require(property, form, TLayoutValue::Kind::String);
      form.SetText(property.value.text);
    } else if (Is(name, "Color")) {
      form.Color = Color(property, form);
    } else if (Is(name, "ClientWidth")) {
      form.SetClientSize(Integer(property, form), form.ClientHeight());
    } else if (Is(name, "ClientHeight")) {
      form.SetClientSize(form.ClientWidth(), Integer(property, form));
    } else if (Is(name, "Position")) {
      Require(property, form, TLayoutValue::Kind::Identifier);
      if (Is(property.value.text, "poDesigned")) {
        form.Position = poDesigned;
      } else if (Is(property.value.text, "poDesktopCenter") ||
                 Is(property.value.text, "poScreenCenter")) {
        form.Position = poDesktopCenter;
      } else {
        Fail(property, form.Name, "unknown position " + property.value.text);
      }
    } else if (Is(name, "OnShow")) {
      BindEvent(property, form, form.OnShow);
    } else if (Is(name, "OldCreateOrder")) {
      // Handlers are bound after the form's controls exist in either order.
      Boolean(property, form);
    } else if (Is(name, "PixelsPerInch") || Is(name, "TextHeight")) {
      // The layout is shown at its own resolution, unscaled.
      if (Integer(property, form) <= 0) Fail(property, form.Name, "must be positive");
    } else {
      Unknown(property, form);
    }
  }

  void ApplyImageProperty(const TLayoutProperty& property, TImage& image) {
    if (ApplyControlProperty(property, image)) return;
    if (Is(property.name, "Stretch")) {
      image.Stretch = Boolean(property, image);
    } else if (Is(property.name, "Picture.Data")) {
      Require(property, image, TLayoutValue::Kind::Binary);
      TMemoryStream stream;
      const AnsiString& bytes = property.value.text;
      stream.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
      stream.SetPosition(0);
      try {
        image.Picture()->ReadData(stream);
      } catch (const Exception& error) {
        Fail(property, image.Name, error.Message());
      }
    } else {
      Unknown(property, image);
    }
  }

  void ApplyLabelProperty(const TLayoutProperty& property, TLabel& label) {
    if (ApplyControlProperty(property, label)) return;
    const AnsiString& name = property.name;
    if (ApplyFontProperty(property, label, label.Font)) {
      // A font of its own replaces the form's.
      label.ParentFont = false;
    } else if (Is(name, "Caption")) {
      Require(property, label, TLayoutValue::Kind::String);
      label.SetText(property.value.text);
    } else if (Is(name, "Alignment")) {
      Require(property, label, TLayoutValue::Kind::Identifier);
      const AnsiString& value = property.value.text;
      if (Is(value, "taLeftJustify")) {
        label.Alignment = taLeftJustify;
      } else if (Is(value, "taRightJustify")) {
        label.Alignment = taRightJustify;
      } else if (Is(value, "taCenter")) {
        label.Alignment = taCenter;
      } else {
        Fail(property, label.Name, "unknown alignment " + value);
      }
    } else if (Is(name, "AutoSize")) {
      label.AutoSize = Boolean(property, label);
    } else if (Is(name, "ParentFont")) {
      label.ParentFont = Boolean(property, label);
    } else {
      Unknown(property, label);
    }
  }

  void LoadControl(const TLayoutObject& object) {
    const auto where = "Layout line " + std::to_string(object.line) + ": ";
    if (object.name.empty() || form_.FindComponent(object.name) != nullptr) {
      throw ELayoutError(where + "duplicate component name " + object.name);
    }
    if (!object.children.empty()) {
      throw ELayoutError(where + object.name + " (" + object.className +
                         ") cannot hold other components");
    }
    if (object.className == "TImage") {
      auto* image = new TImage(&form_);
      Place(*image, object);
      for (const TLayoutProperty& property : object.properties)
        ApplyImageProperty(property, *image);
    } else if (object.className == "TLabel") {
      auto* label = new TLabel(&form_);
      Place(*label, object);
      for (const TLayoutProperty& property : object.properties)
        ApplyLabelProperty(property, *label);
      label->AdjustBounds();
    } else {
      throw ELayoutError(where + "unknown component class " + object.className + " of " +
                         object.name);
    }
  }

  void Place(TControl& control, const TLayoutObject& object) {
    control.Name = object.name;
    control.SetParent(&form_);
  }

  TForm& form_;
  const AnsiString& className_;
};

TForm::TForm(TComponent* owner, const AnsiString& layoutClassName)
    : TCustomForm(owner), className_(layoutClassName) {
  const AnsiString* text = FindFormLayout(layoutClassName);
  if (text == nullptr)
    throw ELayoutError("No layout resource for the form class " + layoutClassName);
  TLayoutLoader(*this, className_).Load(ParseLayout(*text));
}
