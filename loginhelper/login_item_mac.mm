// The login item on macOS: the host's launch agent as an SMAppService.
// Built with ARC. loginhelper is a command-line tool with no NSApplication,
// so every call into Objective-C holds its own autorelease pool.
#import <Foundation/Foundation.h>
#import <ServiceManagement/ServiceManagement.h>

#include "loginhelper/login_item.h"

namespace loginhelper {

namespace {

std::string utf8(NSString* text) {
  const char* bytes = text.UTF8String;
  return bytes ? bytes : "";
}

// Each failure is made where the helper is called, which an unchecked
// failure names.
Failure<Error> errorFrom(NSError* error, const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
  if (error == nil)
    return Failure(Error{"SMAppServiceErrorDomain", 0, "The operation could not be completed."}, file, line);
  return Failure(Error{utf8(error.domain), static_cast<long>(error.code), utf8(error.localizedDescription)},
                 file, line);
}

// The service of a property-list name that is not valid UTF-8: there is none.
Failure<Error> noService(const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
  return Failure(Error{NSCocoaErrorDomain.UTF8String, NSFileReadInapplicableStringEncodingError,
                       "The login item's property list name is not valid UTF-8."},
                 file, line);
}

class AgentService : public LoginItemService {
 public:
  explicit AgentService(SMAppService* service) : service_(service) {}

  Result<long> status() override {
    if (service_ == nil) return noService();
    @autoreleasepool {
      return static_cast<long>(service_.status);
    }
  }

  Result<> registerService() override {
    if (service_ == nil) return noService();
    @autoreleasepool {
      NSError* error = nil;
      if ([service_ registerAndReturnError:&error]) return Done{};
      return errorFrom(error);
    }
  }

  Result<> unregisterService() override {
    if (service_ == nil) return noService();
    @autoreleasepool {
      NSError* error = nil;
      if ([service_ unregisterAndReturnError:&error]) return Done{};
      return errorFrom(error);
    }
  }

  void openSystemSettingsLoginItems() override {
    @autoreleasepool {
      [SMAppService openSystemSettingsLoginItems];
    }
  }

 private:
  SMAppService* service_;  // nil when the name could not be read
};

}  // namespace

std::unique_ptr<LoginItemService> agentServiceWithPlistName(std::string_view plistName) {
  @autoreleasepool {
    NSString* name = [[NSString alloc] initWithBytes:plistName.data()
                                              length:plistName.size()
                                            encoding:NSUTF8StringEncoding];
    if (name == nil) return std::make_unique<AgentService>(nil);
    return std::make_unique<AgentService>([SMAppService agentServiceWithPlistName:name]);
  }
}

}  // namespace loginhelper
