#pragma once
// Deployment data of Olvane: the server hosts of each environment, the
// crash-upload FTP host and port and extra trusted CA certificates, read through the
// platform's one reader of the hosts file (platform/hosts.h, ZAVMO_HOSTS):
//
//   [passport]
//   env0.https=host:port
//   env0.http=host:port
//   ...            (env0 to env2, one line per scheme)
//   [crash_ftp]
//   host=host
//   port=port
//
// Host kinds shared by several environments read the slot of the first
// environment that shares them (env0 for one host, env1 for environments 1
// and 2 sharing one).

#include <platform/hosts.h>

#include <QString>

namespace deployment {

// The platform's host kinds (Passport ... GroupInvite).
using HostKind = platform::hosts::Kind;

// "scheme://host[:port]" for a host kind, an environment slot (0 to 2) and a
// scheme; the port is left out when it is the scheme's default.
QString origin(HostKind kind, int slot, bool https);

// The host of the crash-archive FTP server (no port, no scheme).
QString crashFtpHost();

// The port of the crash-archive FTP server (3747 unless the file names one).
int crashFtpPort();

// Adds the certificates of ZAVMO_CA_BUNDLE (PEM) to Qt's default TLS
// configuration, beside the system's. Returns false when the variable names a
// file without certificates; true when it is unset or the certificates were
// added. Certificate errors are never ignored.
bool installTrustedCertificates();

} // namespace deployment
