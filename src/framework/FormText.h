// Form texts: the stored settings of a form and the components it owns, as
//
//   object frmMain: TfrmMain
//     Caption = "frmMain"
//     Sub.Items = ("first" "second")
//     Data = {0A1B}
//     Anchors = [akLeft, akTop]
//     OnCreate = FormCreate
//     object Timer: TTimer
//       Interval = 30000
//     end
//   end
//
// Texts are UTF-8; string values become ANSI strings of the program. Values
// are applied in the order they stand, so that setters see them as stored.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "Component.h"

struct TFormObject {
  std::string name;
  std::string className;
  std::vector<std::pair<std::string, TValue>> props;  // dotted paths, in order
  std::vector<TFormObject> children;
};

// Raises EReadError with the line number on a malformed text.
TFormObject ParseFormText(const std::string& text);
std::string FormatFormText(const TFormObject& object);

// Applies a parsed text to root: creates the components it names through the
// root's published fields, sets every property, then calls Loaded on each.
void ReadComponent(TComponent* root, const TFormObject& object);
// The stored state of root and everything it owns.
TFormObject WriteComponent(const TComponent* root);

// Reads the form text stored as an RCDATA resource named after the root's
// class (upper case). Returns false when the program has no such resource.
bool ReadComponentResource(TComponent* root, HINSTANCE instance = nullptr);
