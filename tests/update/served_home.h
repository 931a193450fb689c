// A temporary application folder on disk served by a loopback update server: real files and real
// transfers, fakes for everything else. Shared by the update tests that talk to a server.
#pragma once

#include "app/settings.h"
#include "platform/fake/fakes.h"
#include "platform/linux/linux_platform.h"
#include "support/loopback_server.h"
#include "support/temp_dir.h"
#include "update_fixtures.h"

namespace quorvane::testing {

class ServedHome {
protected:
  /// The home holds the old signatures, the settings point at the server, questions are answered
  /// yes.
  explicit ServedHome(LoopbackServer::Scheme scheme) : server(scheme, home / "ca.pem") {
    home.write("vir.sig", oldSignatures());
    useUpdateServer(settings, server, home / "ca.pem");
    fake.notifier.answer = true;
  }
  std::string virSig() const { return home.read("vir.sig"); }

  TempDir home;
  LoopbackServer server;
  platform::fake::FakePlatform fake;
  platform::LinuxFileSystem files;
  platform::CurlHttp http;
  platform::Platform p{fake.registry, files,          fake.clock, fake.environment, fake.crypto,
                       fake.notifier, fake.processes, fake.power, http,             fake.shell,
                       fake.drives,   fake.integration};
  app::SettingsStore settings{p};
};

} // namespace quorvane::testing
