#include "pyfacade/args.h"

#include <string>

#include "protein/kabsch.h"

namespace tess::py {

Ref str(std::string_view utf8) {
  return check(PyUnicode_DecodeUTF8(utf8.data(), static_cast<Py_ssize_t>(utf8.size()), "replace"));
}

// ---------------------------------------------------------------------------
// Declarations
// ---------------------------------------------------------------------------

std::size_t FunctionDecl::required() const {
  std::size_t n = 0;
  for (const ParamDecl& p : params) {
    if (p.default_text == nullptr) ++n;
  }
  return n;
}

std::string FunctionDecl::text_signature() const {
  std::string s = name;
  s += '(';
  for (std::size_t i = 0; i < params.size(); ++i) {
    if (i != 0) s += ", ";
    s += params[i].name;
    if (params[i].default_text != nullptr) {
      s += '=';
      s += params[i].default_text;
    }
  }
  s += ')';
  return s;
}

std::string FunctionDecl::doc() const { return text_signature() + "\n--\n\n" + description; }

// ---------------------------------------------------------------------------
// Mapping arguments to slots
// ---------------------------------------------------------------------------

namespace {

[[noreturn]] void type_error(const std::string& message) {
  PyErr_SetObject(PyExc_TypeError, str(message).get());
  throw ErrorAlreadySet{};
}

std::string quoted_names(const std::vector<std::string_view>& names) {
  std::string s;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i != 0) {
      if (names.size() == 2) s += " and ";
      else if (i + 1 == names.size()) s += ", and ";
      else s += ", ";
    }
    s += '\'';
    s += names[i];
    s += '\'';
  }
  return s;
}

// The text of the current exception when it is a TypeError (which it clears),
// or nothing (the exception stays set). When str() of the TypeError fails in
// an ordinary way the text says so; anything else it raises is thrown.
std::optional<std::string> take_type_error() {
  if (!PyErr_ExceptionMatches(PyExc_TypeError)) return std::nullopt;
  Ref exc(PyErr_GetRaisedException());
  Ref text(PyObject_Str(exc.get()));
  if (!text) {
    drop_ordinary_error();
    return std::string("<exception str() failed>");
  }
  Py_ssize_t n = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(text.get(), &n);
  if (utf8 == nullptr) {
    drop_ordinary_error();
    return std::string("<exception str() failed>");
  }
  return std::string(utf8, static_cast<std::size_t>(n));
}

}  // namespace

Args::Args(const FunctionDecl& decl, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) : decl_(decl) {
  const std::size_t max = decl.params.size();
  const std::size_t required = decl.required();
  const std::string func = std::string(decl.name) + "()";
  const auto given = static_cast<std::size_t>(nargs);
  if (given > max) {
    std::string m = func + " takes ";
    if (required == max) m += std::to_string(max);
    else m += "from " + std::to_string(required) + " to " + std::to_string(max);
    m += " positional arguments but " + std::to_string(given) + (given == 1 ? " was given" : " were given");
    type_error(m);
  }
  for (std::size_t i = 0; i < given; ++i) slots_[i] = args[i];
  const Py_ssize_t nkw = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t k = 0; k < nkw; ++k) {
    // Compared without encoding: a keyword that is not valid UTF-8 (a lone
    // surrogate) names no parameter and is reported as such.
    PyObject* key = PyTuple_GET_ITEM(kwnames, k);
    std::size_t index = max;
    for (std::size_t p = 0; p < max; ++p) {
      if (PyUnicode_CompareWithASCIIString(key, decl.params[p].name) == 0) {
        index = p;
        break;
      }
    }
    if (index == max) {
      Ref m = check(PyUnicode_FromFormat("%s got an unexpected keyword argument '%U'", func.c_str(), key));
      PyErr_SetObject(PyExc_TypeError, m.get());
      throw ErrorAlreadySet{};
    }
    if (slots_[index] != nullptr) {
      type_error(func + " got multiple values for argument '" + decl.params[index].name + "'");
    }
    slots_[index] = args[nargs + k];
  }
  std::vector<std::string_view> missing;
  for (std::size_t p = 0; p < required; ++p) {
    if (slots_[p] == nullptr) missing.emplace_back(decl.params[p].name);
  }
  if (!missing.empty()) {
    type_error(func + " missing " + std::to_string(missing.size()) + " required positional argument" +
               (missing.size() == 1 ? "" : "s") + ": " + quoted_names(missing));
  }
}

void Args::fail(std::size_t i, std::string_view message) const {
  type_error("argument '" + std::string(decl_.params[i].name) + "': " + std::string(message));
}

void Args::raised(std::size_t i) const {
  if (auto text = take_type_error()) fail(i, *text);
  throw ErrorAlreadySet{};
}

// ---------------------------------------------------------------------------
// Conversions of single objects
// ---------------------------------------------------------------------------

namespace convert {

std::string cannot_convert(PyObject* o, const char* target) {
  std::string m = "'";
  m += type_name(o);
  m += "' object cannot be converted to '";
  m += target;
  m += '\'';
  return m;
}

std::string type_name(PyObject* o) {
  // A qualified name that is not valid UTF-8 (a lone surrogate) gives way to
  // the type's C name; running out of memory is thrown.
  Ref name(PyType_GetQualName(Py_TYPE(o)));
  if (!name) {
    drop_ordinary_error();
    return Py_TYPE(o)->tp_name;
  }
  const char* utf8 = PyUnicode_AsUTF8(name.get());
  if (utf8 == nullptr) {
    drop_ordinary_error();
    return Py_TYPE(o)->tp_name;
  }
  return utf8;
}

bool to_text(PyObject* o, std::string_view& out, std::string& message) {
  if (!PyUnicode_Check(o)) {
    message = cannot_convert(o, "PyString");
    return false;
  }
  Py_ssize_t n = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(o, &n);
  if (utf8 == nullptr) throw ErrorAlreadySet{};  // lone surrogates: UnicodeEncodeError as raised
  out = std::string_view(utf8, static_cast<std::size_t>(n));
  return true;
}

bool to_number(PyObject* o, double& out, std::string& message) {
  const double v = PyFloat_AsDouble(o);
  if (v == -1.0 && PyErr_Occurred()) {
    if (auto text = take_type_error()) {
      message = std::move(*text);
      return false;
    }
    throw ErrorAlreadySet{};
  }
  out = v;
  return true;
}

bool to_flag(PyObject* o, bool& out, std::string& message) {
  if (o == Py_True || o == Py_False) {
    out = o == Py_True;
    return true;
  }
  const std::string name = Py_TYPE(o)->tp_name;
  if (name == "numpy.bool" || name == "numpy.bool_") {
    const int truth = PyObject_IsTrue(o);
    if (truth < 0) throw ErrorAlreadySet{};
    out = truth != 0;
    return true;
  }
  message = cannot_convert(o, "PyBool");
  return false;
}

bool to_count(PyObject* o, std::uint64_t& out, std::string& message) {
  Ref index(PyNumber_Index(o));
  if (!index) {
    if (auto text = take_type_error()) {
      message = std::move(*text);
      return false;
    }
    throw ErrorAlreadySet{};
  }
  const unsigned long long v = PyLong_AsUnsignedLongLong(index.get());
  if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
    if (auto text = take_type_error()) {
      message = std::move(*text);
      return false;
    }
    throw ErrorAlreadySet{};  // OverflowError as raised
  }
  out = v;
  return true;
}

namespace {

// A tuple (or tuple subclass) of exactly n items, each converted by `one`.
template <class T, class One>
bool to_tuple_of(PyObject* o, T* out, Py_ssize_t n, std::string& message, One one) {
  if (!PyTuple_Check(o)) {
    message = cannot_convert(o, "PyTuple");
    return false;
  }
  const Py_ssize_t len = PyTuple_GET_SIZE(o);
  if (len != n) {
    message = "expected tuple of length " + std::to_string(n) + ", but got tuple of length " + std::to_string(len);
    return false;
  }
  for (Py_ssize_t i = 0; i < n; ++i) {
    if (!one(PyTuple_GET_ITEM(o, i), out[i], message)) return false;
  }
  return true;
}

}  // namespace

bool to_tuple_of_numbers(PyObject* o, double* out, Py_ssize_t n, std::string& message) {
  return to_tuple_of(o, out, n, message, to_number);
}

bool to_tuple_of_counts(PyObject* o, std::uint64_t* out, Py_ssize_t n, std::string& message) {
  return to_tuple_of(o, out, n, message, to_count);
}

bool is_list_like(PyObject* o, std::string& message) {
  if (PyUnicode_Check(o)) {
    message = "Can't extract `str` to `Vec`";
    return false;
  }
  if (PyList_Check(o) || PyTuple_Check(o)) return true;
  static PyObject* sequence_abc = [] {
    Ref abc(PyImport_ImportModule("collections.abc"));
    PyObject* cls = abc ? PyObject_GetAttrString(abc.get(), "Sequence") : nullptr;
    return cls;  // kept for the life of the process
  }();
  if (sequence_abc == nullptr) throw ErrorAlreadySet{};
  const int is = PyObject_IsInstance(o, sequence_abc);
  if (is < 0) throw ErrorAlreadySet{};
  if (is == 0) {
    message = cannot_convert(o, "Sequence");
    return false;
  }
  return true;
}

}  // namespace convert

// ---------------------------------------------------------------------------
// Accessors
// ---------------------------------------------------------------------------

namespace {

// Calls each(item) for every item of a list-like argument, in order.
template <class F>
void for_each_item(const Args& a, std::size_t i, F&& each) {
  std::string message;
  if (!convert::is_list_like(a.raw(i), message)) a.fail(i, message);
  Ref it(PyObject_GetIter(a.raw(i)));
  if (!it) a.raised(i);
  while (PyObject* item_raw = PyIter_Next(it.get())) {
    Ref item(item_raw);
    each(item.get());
  }
  if (PyErr_Occurred()) a.raised(i);
}

}  // namespace

std::string_view Args::text(std::size_t i) const {
  std::string_view out;
  std::string message;
  if (!convert::to_text(slots_[i], out, message)) fail(i, message);
  return out;
}

std::optional<std::string_view> Args::opt_text(std::size_t i) const {
  if (is_none(i)) return std::nullopt;
  return text(i);
}

std::string_view Args::text(std::size_t i, std::string_view fallback) const {
  return slots_[i] == nullptr ? fallback : text(i);
}

double Args::number(std::size_t i, double fallback) const { return slots_[i] == nullptr ? fallback : number(i); }

double Args::number(std::size_t i) const {
  double out = 0;
  std::string message;
  if (!convert::to_number(slots_[i], out, message)) fail(i, message);
  return out;
}

std::optional<double> Args::opt_number(std::size_t i) const {
  if (is_none(i)) return std::nullopt;
  return number(i);
}

bool Args::flag(std::size_t i, bool fallback) const {
  if (slots_[i] == nullptr) return fallback;
  bool out = false;
  std::string message;
  if (!convert::to_flag(slots_[i], out, message)) fail(i, message);
  return out;
}

std::uint64_t Args::count(std::size_t i, std::uint64_t fallback) const {
  if (slots_[i] == nullptr) return fallback;
  std::uint64_t out = 0;
  std::string message;
  if (!convert::to_count(slots_[i], out, message)) fail(i, message);
  return out;
}

std::optional<std::uint64_t> Args::opt_count(std::size_t i) const {
  if (is_none(i)) return std::nullopt;
  return count(i, 0);
}

Point3 Args::point(std::size_t i) const {
  Point3 p{};
  std::string message;
  if (!convert::to_tuple_of_numbers(slots_[i], p.data(), 3, message)) fail(i, message);
  return p;
}

std::optional<Point3> Args::opt_point(std::size_t i) const {
  if (is_none(i)) return std::nullopt;
  return point(i);
}

std::array<std::uint64_t, 3> Args::count_triple(std::size_t i) const {
  std::array<std::uint64_t, 3> c{};
  std::string message;
  if (!convert::to_tuple_of_counts(slots_[i], c.data(), 3, message)) fail(i, message);
  return c;
}

Box3 Args::box(std::size_t i) const {
  PyObject* o = slots_[i];
  if (!PyTuple_Check(o)) fail(i, convert::cannot_convert(o, "PyTuple"));
  if (PyTuple_GET_SIZE(o) != 2) {
    fail(i, "expected tuple of length 2, but got tuple of length " + std::to_string(PyTuple_GET_SIZE(o)));
  }
  Box3 b{};
  std::string message;
  for (Py_ssize_t k = 0; k < 2; ++k) {
    if (!convert::to_tuple_of_numbers(PyTuple_GET_ITEM(o, k), b[static_cast<std::size_t>(k)].data(), 3, message)) {
      fail(i, message);
    }
  }
  return b;
}

std::vector<std::string> Args::text_list(std::size_t i) const {
  std::vector<std::string> out;
  for_each_item(*this, i, [&](PyObject* item) {
    std::string_view s;
    std::string message;
    if (!convert::to_text(item, s, message)) fail(i, message);
    out.emplace_back(s);
  });
  return out;
}

std::optional<std::vector<std::string>> Args::opt_text_list(std::size_t i) const {
  if (is_none(i)) return std::nullopt;
  return text_list(i);
}

std::vector<PyObject*> Args::dict_list(std::size_t i) const {
  // The dicts are kept alive by the call: converting their contents may run
  // code that changes the sequence they came from.
  std::vector<PyObject*> out;
  for_each_item(*this, i, [&](PyObject* item) {
    if (!PyDict_Check(item)) fail(i, convert::cannot_convert(item, "PyDict"));
    holders_.emplace_back(Py_NewRef(item));
    out.push_back(item);
  });
  return out;
}

std::vector<std::array<double, 2>> Args::pair_list(std::size_t i) const {
  std::vector<std::array<double, 2>> out;
  for_each_item(*this, i, [&](PyObject* item) {
    std::array<double, 2> pair{};
    std::string message;
    if (!convert::to_tuple_of_numbers(item, pair.data(), 2, message)) fail(i, message);
    out.push_back(pair);
  });
  return out;
}

protein::PointRows Args::row_list(std::size_t i) const {
  protein::PointRows out;
  for_each_item(*this, i, [&](PyObject* row) {
    std::string message;
    if (!convert::is_list_like(row, message)) fail(i, message);
    double first[3] = {0, 0, 0};
    std::size_t n = 0;
    auto take = [&](PyObject* item) {
      double v = 0;
      if (!convert::to_number(item, v, message)) fail(i, message);
      if (n < 3) first[n] = v;
      ++n;
    };
    if (PyList_Check(row) || PyTuple_Check(row)) {
      for (Py_ssize_t k = 0; k < PySequence_Fast_GET_SIZE(row); ++k) {
        Ref item(Py_NewRef(PySequence_Fast_GET_ITEM(row, k)));
        take(item.get());
      }
    } else {
      Ref it(PyObject_GetIter(row));
      if (!it) raised(i);
      while (PyObject* raw = PyIter_Next(it.get())) {
        Ref item(raw);
        take(item.get());
      }
      if (PyErr_Occurred()) raised(i);
    }
    ++out.rows;
    if (n < 3) {
      out.short_row = true;
    } else {
      out.xyz.insert(out.xyz.end(), first, first + 3);
    }
  });
  return out;
}

}  // namespace tess::py
