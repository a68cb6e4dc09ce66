#include "focuswatch/sim/reasons_file.h"

#include <fcntl.h>

#include <nlohmann/json.hpp>

#include "common/io.h"
#include "focuswatch/desktop_file/document.h"

namespace focuswatch {

ReasonsFile::ReasonsFile(const std::string& path)
    : fd_(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600)) {}

void ReasonsFile::say(std::string_view field, std::string_view step, const Element* element,
                      std::string_view words) {
  if (!fd_) return;
  nlohmann::ordered_json line = {{"field", field}, {"step", step}};
  if (element && *element) line["element"] = static_cast<const SimElement*>(element->get())->traceName();
  line["says"] = words;
  // A title that is not UTF-8 is said with replacement characters. Reasons
  // are a diagnostic: a line the file cannot take is lost, and the sample
  // goes on.
  (void)vantrel::writeAll(fd_.get(),
                          line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
}

}  // namespace focuswatch
