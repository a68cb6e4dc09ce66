// Why a sample says what it says. The readers tell each deciding step to
// the desktop's reason sink, as the trace tells each read; nobody listens
// unless a replay asks (FOCUSWATCH_REASONS), and with no sink no text is
// built.
#ifndef FOCUSWATCH_REASONS_H_
#define FOCUSWATCH_REASONS_H_

#include <string>
#include <string_view>
#include <type_traits>

namespace focuswatch {

class Element;

class ReasonSink {
 public:
  virtual ~ReasonSink() = default;
  // `field`: the line's key the step is about; "nerrit*", "browser*" or
  // "*" for every optional key that begins so. `step`: "from" (the field's
  // value came from `element`), "missing" (the rule that left the field
  // out), or a step of the walk that the explanation marks ("pane",
  // "strip", "candidate", "passed", "chosen", "tab", "row", "page",
  // "budget"). `element` may be null.
  virtual void say(std::string_view field, std::string_view step, const Element* element,
                   std::string_view words) = 0;
};

// Tells `sink`, when there is one; `words` is text or a callable that
// builds it, called only then.
template <typename Words>
void tell(ReasonSink* sink, std::string_view field, std::string_view step, const Element* element,
          Words&& words) {
  if (!sink) return;
  if constexpr (std::is_convertible_v<Words, std::string_view>) {
    sink->say(field, step, element, words);
  } else {
    sink->say(field, step, element, std::string(words()));
  }
}

}  // namespace focuswatch

#endif  // FOCUSWATCH_REASONS_H_
