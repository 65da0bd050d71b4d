// The named values of one entity, written down once per kind and used three ways: hashed for
// matching, compared field by field for a change's description, and printed for the text form.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "jww/JwwUnit.h"

namespace compare::detail {

enum class Type : uint8_t {
  Num,    ///< a length or angle, compared within the tolerance
  Int,    ///< compared exactly
  Hex,    ///< compared exactly, shown in hexadecimal (flags, colours); -1 shows as "none"
  Layer,  ///< group * 16 + layer, shown "2-F"
  Point,  ///< two numbers
  Text,   ///< a string of the drawing
};

struct Field {
  const char* part = nullptr;  ///< sub-record of a dimension ("text", "aux line 1"), or null
  const char* name = nullptr;
  Type type = Type::Int;
  bool geo = false;    ///< part of the geometry that identifies the entity
  bool label = false;  ///< shown when the entity is described (besides the geometry)
  double a = 0, b = 0;
  int64_t i = 0;
  const std::u16string* s = nullptr;
};

/// A dimension, the largest record, has about 90 values.
struct Fields {
  std::array<Field, 128> f;
  int n = 0;
  const char* part = nullptr;

  Field& Add(const char* name, Type t) {
    // Only the members of the field's type are read, so the others are left as they are.
    Field& x = f[static_cast<size_t>(n++)];
    x.part = part;
    x.name = name;
    x.type = t;
    x.geo = x.label = false;
    return x;
  }
  void Num(const char* name, double v, bool geo = false) { Add(name, Type::Num).a = v, f[n - 1].geo = geo; }
  void Point(const char* name, double x, double y, bool geo = false) {
    Field& p = Add(name, Type::Point);
    p.a = x, p.b = y, p.geo = geo;
  }
  void Int(const char* name, int64_t v, Type t = Type::Int) { Add(name, t).i = v; }
  void Text(const char* name, const std::u16string& s, bool label = false) {
    Field& x = Add(name, Type::Text);
    x.s = &s, x.label = label;
  }
};

/// Block definition numbers of one drawing and their names, for insertions.
using DefNames = std::unordered_map<jww::Cardinal, const std::u16string*>;
DefNames MakeDefNames(const jww::TJwwData& d);

void Fill(const jww::TEntJwwLine& e, const DefNames&, Fields& f);
void Fill(const jww::TEntJwwEnko& e, const DefNames&, Fields& f);
void Fill(const jww::TEntJwwTen& e, const DefNames&, Fields& f);
void Fill(const jww::TEntJwwMoji& e, const DefNames&, Fields& f);
void Fill(const jww::TEntJwwSunpo& e, const DefNames&, Fields& f);
void Fill(const jww::TEntJwwSolid& e, const DefNames&, Fields& f);
void Fill(const jww::TEntJwwBlock& e, const DefNames&, Fields& f);

/// A value as shown, and a text quoted on one line.
std::string Shown(const Field& x);
std::string Quote(const std::u16string& s);
/// "part name" or "name".
std::string FieldName(const Field& x);

/// "line start (0, 0) end (10, 0) layer 0-1": kind, geometry and labelled values.
std::string Describe(jww::EntKind k, const Fields& f);
/// Every value of the entity on one line, for the text form.
std::string FullLine(jww::EntKind k, const Fields& f);

/// A definition's name as its user gave it (without the decoration construction adds).
std::u16string GivenName(const std::u16string& stored);

}  // namespace compare::detail
