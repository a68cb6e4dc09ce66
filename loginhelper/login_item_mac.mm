// The login item on macOS: the host's launch agent as an SMAppService.
// Built with ARC.
#import <Foundation/Foundation.h>
#import <ServiceManagement/ServiceManagement.h>

#include "loginhelper/login_item.h"

namespace loginhelper {

namespace {

Error errorFrom(NSError* error) {
  if (error == nil) return Error{"SMAppServiceErrorDomain", 0, "The operation could not be completed."};
  return Error{error.domain.UTF8String ?: "", static_cast<long>(error.code),
               error.localizedDescription.UTF8String ?: ""};
}

class AgentService : public LoginItemService {
 public:
  explicit AgentService(SMAppService* service) : service_(service) {}

  StatusRead status() override { return {static_cast<long>(service_.status), std::nullopt}; }

  std::optional<Error> registerService() override {
    NSError* error = nil;
    if ([service_ registerAndReturnError:&error]) return std::nullopt;
    return errorFrom(error);
  }

  std::optional<Error> unregisterService() override {
    NSError* error = nil;
    if ([service_ unregisterAndReturnError:&error]) return std::nullopt;
    return errorFrom(error);
  }

  void openSystemSettingsLoginItems() override { [SMAppService openSystemSettingsLoginItems]; }

 private:
  SMAppService* service_;
};

}  // namespace

std::unique_ptr<LoginItemService> agentServiceWithPlistName(std::string_view plistName) {
  NSString* name = [[NSString alloc] initWithBytes:plistName.data()
                                            length:plistName.size()
                                          encoding:NSUTF8StringEncoding];
  return std::make_unique<AgentService>([SMAppService agentServiceWithPlistName:name]);
}

}  // namespace loginhelper
