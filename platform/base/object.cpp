#include "platform/base/object.h"

#include <cxxabi.h>
#include <cstdlib>
#include <memory>
#include <typeinfo>

std::string TObject::ClassName() const {
  const char* mangled = typeid(*this).name();
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> name(abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
  std::string result = (status == 0 && name) ? name.get() : mangled;
  auto pos = result.rfind("::");
  if (pos != std::string::npos) result = result.substr(pos + 2);
  return result;
}
