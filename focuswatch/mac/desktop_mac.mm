// The desktop on macOS: NSWorkspace, the Accessibility API, CoreGraphics'
// idle time and the main run loop. Every answer is converted at once into
// the boundary's types; no decision is made here. Built with ARC.
//
// The probe is a command-line tool that runs for days with no NSApplication
// to drain autoreleased objects, so every method that calls Objective-C, and
// every block the run loop calls, holds its own autorelease pool.
#import <AppKit/AppKit.h>
#import <ApplicationServices/ApplicationServices.h>
#import <Foundation/Foundation.h>

#include <map>
#include <string>

#include "common/scoped_cf.h"
#include "focuswatch/desktop.h"
#include "focuswatch/text.h"

namespace focuswatch {

namespace {

using vantrel::ScopedCF;

// An Element's handle, which its copies share: takes ownership of an
// AXUIElementRef obtained under the create or copy rule, and the last copy
// releases it.
std::shared_ptr<const void> adopt(CFTypeRef object) {
  return std::shared_ptr<const void>(object, [](const void* p) {
    if (p) CFRelease(p);
  });
}

// Shares an object owned elsewhere (an item of an array being converted).
std::shared_ptr<const void> retain(CFTypeRef object) { return adopt(CFRetain(object)); }

std::string toString(CFStringRef string) {
  CFIndex length = CFStringGetLength(string);
  std::u16string units(static_cast<size_t>(length), u'\0');
  CFStringGetCharacters(string, CFRangeMake(0, length), reinterpret_cast<UniChar*>(units.data()));
  return fromUtf16(units);
}

std::optional<std::string> toString(NSString* string) {
  if (string == nil) return std::nullopt;
  return toString((__bridge CFStringRef)string);
}

// An attribute value as the boundary holds it. Borrowed: the caller still
// owns `value`.
Value convert(CFTypeRef value) {
  CFTypeID type = CFGetTypeID(value);
  if (type == AXUIElementGetTypeID()) return Value{Element(retain(value))};
  if (type == CFStringGetTypeID()) return Value{toString(static_cast<CFStringRef>(value))};
  if (type == CFURLGetTypeID()) {
    ScopedCF<CFURLRef> absolute(CFURLCopyAbsoluteURL(static_cast<CFURLRef>(value)));
    if (!absolute) return Value{OtherValue{}};
    return Value{Url{toString(CFURLGetString(absolute.get()))}};
  }
  if (type == AXValueGetTypeID()) {
    AxValue axValue;
    CGRect rect;
    if (AXValueGetValue(static_cast<AXValueRef>(value), kAXValueTypeCGRect, &rect)) {
      axValue.rect = Rect{rect.origin.x, rect.origin.y, rect.size.width, rect.size.height};
    }
    return Value{axValue};
  }
  if (type == CFArrayGetTypeID()) {
    CFArrayRef array = static_cast<CFArrayRef>(value);
    ValueList items;
    CFIndex count = CFArrayGetCount(array);
    items.reserve(static_cast<size_t>(count));
    for (CFIndex i = 0; i < count; ++i) items.push_back(convert(CFArrayGetValueAtIndex(array, i)));
    return Value{std::move(items)};
  }
  return Value{OtherValue{}};
}

NSNotificationName nameOf(WorkspaceNotification notification) {
  switch (notification) {
    case WorkspaceNotification::kDidActivateApplication: return NSWorkspaceDidActivateApplicationNotification;
    case WorkspaceNotification::kWillSleep: return NSWorkspaceWillSleepNotification;
    case WorkspaceNotification::kDidWake: return NSWorkspaceDidWakeNotification;
  }
  return NSWorkspaceDidActivateApplicationNotification;  // not reached
}

class MacDesktop : public Desktop {
 public:
  bool isProcessTrusted() override { return AXIsProcessTrusted(); }

  std::optional<RunningApplication> frontmostApplication() override {
    @autoreleasepool {
      NSRunningApplication* app = [[NSWorkspace sharedWorkspace] frontmostApplication];
      if (app == nil) return std::nullopt;
      return RunningApplication{toString(app.bundleIdentifier), toString(app.localizedName),
                                app.processIdentifier};
    }
  }

  double currentTime() override {
    @autoreleasepool {
      return [[NSDate date] timeIntervalSince1970];
    }
  }

  double systemUptime() override {
    @autoreleasepool {
      return [[NSProcessInfo processInfo] systemUptime];
    }
  }

  double secondsSinceLastInput() override {
    return CGEventSourceSecondsSinceLastEventType(kCGEventSourceStateCombinedSessionState,
                                                  kCGAnyInputEventType);
  }

  Element createApplicationElement(int32_t processIdentifier) override {
    return Element(adopt(AXUIElementCreateApplication(processIdentifier)));
  }

  AttributeRead copyAttributeValue(const Element& element, std::string_view attribute) override {
    ScopedCF<CFStringRef> name(
        CFStringCreateWithBytes(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(attribute.data()),
                                static_cast<CFIndex>(attribute.size()), kCFStringEncodingUTF8, false));
    if (!name) return {kAXErrorIllegalArgument, std::nullopt};
    ScopedCF<CFTypeRef> value;
    AXError error = AXUIElementCopyAttributeValue(static_cast<AXUIElementRef>(element.get()), name.get(),
                                                  value.initializeInto());
    if (!value || error != kAXErrorSuccess) return {error, std::nullopt};
    return {error, convert(value.get())};
  }

  bool sameElement(const Element& a, const Element& b) override {
    return a.get() && b.get() && CFEqual(a.get(), b.get());
  }

  size_t elementHash(const Element& element) override { return element.get() ? CFHash(element.get()) : 0; }

  Token addObserver(WorkspaceNotification name, Block block) override {
    @autoreleasepool {
      NSNotificationCenter* center = [[NSWorkspace sharedWorkspace] notificationCenter];
      id observer = [center addObserverForName:nameOf(name)
                                        object:nil
                                         queue:[NSOperationQueue mainQueue]
                                    usingBlock:^(NSNotification*) {
                                      @autoreleasepool {
                                        block();
                                      }
                                    }];
      observers_[next_] = observer;
      return next_++;
    }
  }

  void removeObserver(Token token) override {
    auto found = observers_.find(token);
    if (found == observers_.end()) return;
    @autoreleasepool {
      [[[NSWorkspace sharedWorkspace] notificationCenter] removeObserver:found->second];
    }
    observers_.erase(found);
  }

  Token scheduleRepeatingTimer(double interval, Block block) override {
    @autoreleasepool {
      timers_[next_] = [NSTimer scheduledTimerWithTimeInterval:interval
                                                       repeats:YES
                                                         block:^(NSTimer*) {
                                                           @autoreleasepool {
                                                             block();
                                                           }
                                                         }];
      return next_++;
    }
  }

  void invalidateTimer(Token token) override {
    auto found = timers_.find(token);
    if (found == timers_.end()) return;
    @autoreleasepool {
      [found->second invalidate];
    }
    timers_.erase(found);
  }

  // -[NSRunLoop run] cannot be stopped; one turn at a time can, and each
  // turn drains its own pool.
  void runMainRunLoop() override {
    stopped_ = false;
    while (!stopped_) {
      @autoreleasepool {
        if (![[NSRunLoop mainRunLoop] runMode:NSDefaultRunLoopMode beforeDate:[NSDate distantFuture]])
          break;  // no input source and no timer left
      }
    }
  }

  void stopMainRunLoop() override {
    stopped_ = true;
    CFRunLoopStop(CFRunLoopGetMain());
  }

 private:
  Token next_ = 1;
  bool stopped_ = false;
  std::map<Token, id> observers_;
  std::map<Token, NSTimer*> timers_;
};

}  // namespace

std::unique_ptr<Desktop> makeDesktop() { return std::make_unique<MacDesktop>(); }

}  // namespace focuswatch
