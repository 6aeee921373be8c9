#pragma once
// The files the simulator leaves for its clients.

#include <string>

namespace zavmo::sim {

// The INI text for ZAVMO_HOSTS: every host kind, environment and scheme points
// at the simulator's two ports; the crash FTP host is 127.0.0.1.
std::string hostsIni(int httpPort, int httpsPort);

// The value for ZAVMO_CONNECT_TO: any host's port 443 goes to the TLS
// listener and port 80 to the plain one, for clients whose ports are fixed.
std::string connectTo(int httpPort, int httpsPort);

// {"http_port":..,"https_port":..,"pid":..}
std::string readyJson(int httpPort, int httpsPort, long pid);

// Writes through a temporary file in the same folder and renames it over
// path, so a reader sees the whole file or none. Throws on failure.
void writeFileAtomically(const std::string& path, const std::string& content);

} // namespace zavmo::sim
