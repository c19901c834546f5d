#include "pyfacade/args.h"

#include <string>

#include "data_loader/tiers.h"
#include "protein/kabsch.h"
#include "pyfacade/state.h"

namespace tess::py {

Ref str(std::string_view utf8) {
  return check(PyUnicode_DecodeUTF8(utf8.data(), static_cast<Py_ssize_t>(utf8.size()), "replace"));
}

// ---------------------------------------------------------------------------
// Mapping arguments to parameters
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

}  // namespace

void map_arguments(const char* func, std::span<const char* const> names, std::size_t required, PyObject* const* args,
                   Py_ssize_t nargs, PyObject* kwnames, std::span<PyObject*> slots) {
  const std::size_t max = names.size();
  const std::string f = std::string(func) + "()";
  const auto given = static_cast<std::size_t>(nargs);
  if (given > max) {
    std::string m = f + " takes ";
    if (required == max) m += std::to_string(max);
    else m += "from " + std::to_string(required) + " to " + std::to_string(max);
    m += " positional arguments but " + std::to_string(given) + (given == 1 ? " was given" : " were given");
    type_error(m);
  }
  for (std::size_t i = 0; i < given; ++i) slots[i] = args[i];
  const Py_ssize_t nkw = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t k = 0; k < nkw; ++k) {
    // Compared without encoding: a keyword that is not valid UTF-8 (a lone
    // surrogate) names no parameter and is reported as such.
    PyObject* key = PyTuple_GET_ITEM(kwnames, k);
    std::size_t index = max;
    for (std::size_t p = 0; p < max; ++p) {
      if (PyUnicode_CompareWithASCIIString(key, names[p]) == 0) {
        index = p;
        break;
      }
    }
    if (index == max) {
      const Ref m = check(PyUnicode_FromFormat("%s got an unexpected keyword argument '%U'", f.c_str(), key));
      PyErr_SetObject(PyExc_TypeError, m.get());
      throw ErrorAlreadySet{};
    }
    if (slots[index] != nullptr) type_error(f + " got multiple values for argument '" + names[index] + "'");
    slots[index] = args[nargs + k];
  }
  std::vector<std::string_view> missing;
  for (std::size_t p = 0; p < required; ++p) {
    if (slots[p] == nullptr) missing.emplace_back(names[p]);
  }
  if (!missing.empty()) {
    type_error(f + " missing " + std::to_string(missing.size()) + " required positional argument" +
               (missing.size() == 1 ? "" : "s") + ": " + quoted_names(missing));
  }
}

void argument_error(const char* name, std::string_view message) {
  type_error("argument '" + std::string(name) + "': " + std::string(message));
}

// ---------------------------------------------------------------------------
// Conversions of single objects
// ---------------------------------------------------------------------------

std::string type_name(PyObject* o) {
  // A qualified name that is not valid UTF-8 (a lone surrogate) gives way to
  // the type's C name; running out of memory is thrown.
  const Ref name(PyType_GetQualName(Py_TYPE(o)));
  const char* utf8 = name ? PyUnicode_AsUTF8(name.get()) : nullptr;
  if (utf8 == nullptr) {
    drop_ordinary_error();
    return Py_TYPE(o)->tp_name;
  }
  return utf8;
}

std::string cannot_convert(PyObject* o, const char* target) {
  return "'" + type_name(o) + "' object cannot be converted to '" + target + "'";
}

bool type_error_message(std::string& message) {
  if (!PyErr_ExceptionMatches(PyExc_TypeError)) throw ErrorAlreadySet{};
  const Ref exc(PyErr_GetRaisedException());
  // When str() of the TypeError fails in an ordinary way the text says so;
  // anything else it raises is thrown.
  const Ref text(PyObject_Str(exc.get()));
  Py_ssize_t n = 0;
  const char* utf8 = text ? PyUnicode_AsUTF8AndSize(text.get(), &n) : nullptr;
  if (utf8 == nullptr) {
    drop_ordinary_error();
    message = "<exception str() failed>";
  } else {
    message.assign(utf8, static_cast<std::size_t>(n));
  }
  return false;
}

bool from_py(PyObject* o, std::string_view& out, std::string& message) {
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

bool from_py(PyObject* o, std::string& out, std::string& message) {
  std::string_view view;
  if (!from_py(o, view, message)) return false;
  out.assign(view);
  return true;
}

bool from_py(PyObject* o, double& out, std::string& message) {
  const double v = PyFloat_AsDouble(o);
  if (v == -1.0 && PyErr_Occurred()) return type_error_message(message);
  out = v;
  return true;
}

bool from_py(PyObject* o, bool& out, std::string& message) {
  if (o == Py_True || o == Py_False) {
    out = o == Py_True;
    return true;
  }
  const std::string_view name = Py_TYPE(o)->tp_name;
  if (name == "numpy.bool" || name == "numpy.bool_") {
    const int truth = PyObject_IsTrue(o);
    if (truth < 0) throw ErrorAlreadySet{};
    out = truth != 0;
    return true;
  }
  message = cannot_convert(o, "PyBool");
  return false;
}

bool from_py(PyObject* o, std::uint64_t& out, std::string& message) {
  const Ref index(PyNumber_Index(o));
  if (!index) return type_error_message(message);
  const unsigned long long v = PyLong_AsUnsignedLongLong(index.get());
  if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return type_error_message(message);
  out = v;
  return true;
}

bool is_list_like(PyObject* o, std::string& message) {
  if (PyUnicode_Check(o)) {
    message = "Can't extract `str` to `Vec`";
    return false;
  }
  if (PyList_Check(o) || PyTuple_Check(o)) return true;
  const int is = PyObject_IsInstance(o, state().sequence_abc);
  if (is < 0) throw ErrorAlreadySet{};
  if (is == 0) {
    message = cannot_convert(o, "Sequence");
    return false;
  }
  return true;
}

bool from_py(PyObject* o, Scope& out, std::string& message) {
  std::uint64_t index = 0;
  if (!from_py(o, index, message)) return false;
  out.index = index < data_loader::SCOPE_ALL ? static_cast<std::uint8_t>(index) : data_loader::SCOPE_ALL;
  return true;
}

bool from_py(PyObject* o, protein::PointRows& out, std::string& message) {
  return for_each_item(o, message, [&](PyObject* row) {
    std::array<double, 3> first{};
    std::size_t n = 0;
    const bool numbers = for_each_item(row, message, [&](PyObject* item) {
      double v = 0;
      if (!from_py(item, v, message)) return false;
      if (n < first.size()) first.at(n) = v;
      ++n;
      return true;
    });
    if (!numbers) return false;
    ++out.rows;
    if (n < first.size()) {
      out.short_row = true;
    } else {
      out.xyz.insert(out.xyz.end(), first.begin(), first.end());
    }
    return true;
  });
}

void HeldBuffer::Release::operator()(Py_buffer* view) const {
  PyBuffer_Release(view);
  delete view;  // NOLINT(cppcoreguidelines-owning-memory): allocated by take()
}

bool HeldBuffer::take(PyObject* o, std::size_t cols, std::string& message) {
  auto view = std::make_unique<Py_buffer>();
  if (PyObject_GetBuffer(o, view.get(), PyBUF_C_CONTIGUOUS | PyBUF_FORMAT) < 0) return type_error_message(message);
  view_.reset(view.release());
  const std::string_view format = view_->format != nullptr ? view_->format : "";
  const bool float64 = view_->itemsize == 8 && (format == "d" || format == "<d" || format == "=d");
  if (!float64 || view_->ndim != 2 || view_->shape[1] != static_cast<Py_ssize_t>(cols)) {
    view_.reset();
    message = "expected a C-contiguous float64 buffer of shape (n, " + std::to_string(cols) + ")";
    return false;
  }
  return true;
}

std::span<const double> HeldBuffer::values() const {
  return {static_cast<const double*>(view_->buf), static_cast<std::size_t>(view_->len) / sizeof(double)};
}

void release_hook(void* object) {
  if (Py_IsInitialized() == 0) return;
  const PyGILState_STATE gil = PyGILState_Ensure();
  Py_DECREF(static_cast<PyObject*>(object));
  PyGILState_Release(gil);
}

// ---------------------------------------------------------------------------
// The alloy targets
// ---------------------------------------------------------------------------

namespace {

// Throughout, only ordinary failures are dropped: KeyboardInterrupt,
// SystemExit, MemoryError and the like end the call at once.

// The value under `key` of a target dict, or nothing when it is absent or the
// lookup itself failed in an ordinary way (a key's __eq__ raising, say).
Ref target_item(PyObject* dict, PyObject* key) {
  PyObject* value = nullptr;
  if (PyDict_GetItemRef(dict, key, &value) < 0) drop_ordinary_error();
  return Ref(value);
}

// A bound or weight: whatever the float conversion accepts; None, absence
// and every ordinary conversion failure give nothing.
std::optional<double> target_number(PyObject* dict, PyObject* key) {
  const Ref item = target_item(dict, key);
  if (!item || item.get() == Py_None) return std::nullopt;
  try {
    double v = 0.0;
    std::string message;
    if (from_py(item.get(), v, message)) return v;
  } catch (const ErrorAlreadySet&) {
    drop_ordinary_error();
  }
  return std::nullopt;
}

alloy::AlloyTarget target_from_dict(PyObject* dict) {
  const Keys& k = state().key;
  alloy::AlloyTarget t;
  if (const Ref property = target_item(dict, k.property)) {
    try {
      std::string message;
      from_py(property.get(), t.property, message);  // not a str: no property
    } catch (const ErrorAlreadySet&) {
      drop_ordinary_error();  // a str that cannot be encoded as UTF-8
    }
  }
  t.min_value = target_number(dict, k.min_value);
  t.max_value = target_number(dict, k.max_value);
  t.weight = target_number(dict, k.weight).value_or(1.0);
  return t;
}

}  // namespace

Arg<std::vector<alloy::AlloyTarget>>::Parsed Arg<std::vector<alloy::AlloyTarget>>::parse(PyObject* o,
                                                                                         const char* name) {
  Parsed dicts;
  std::string message;
  const bool ok = for_each_item(o, message, [&](PyObject* item) {
    if (!PyDict_Check(item)) {
      message = cannot_convert(item, "PyDict");
      return false;
    }
    dicts.emplace_back(Py_NewRef(item));
    return true;
  });
  if (!ok) argument_error(name, message);
  return dicts;
}

std::vector<alloy::AlloyTarget> Arg<std::vector<alloy::AlloyTarget>>::finish(Parsed&& dicts) {
  std::vector<alloy::AlloyTarget> targets;
  targets.reserve(dicts.size());
  for (const Ref& d : dicts) targets.push_back(target_from_dict(d.get()));
  return targets;
}

}  // namespace tess::py
