// A stand-in for the companion module LiveCodeModule.exe, and the test client
// of Olvane's RPC service: started with "-Olvane", it calls the service's three
// procedures (and one call with unusable arguments), writes what came back to
// rpc-client.log beside itself, and then waits to be ended (at most 20 s).
//
//   livecodemodule_fake -Olvane

#include "platform/rpc.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

namespace {

Json::Value list(std::initializer_list<Json::Value> items)
{
    Json::Value value(Json::arrayValue);
    for (const Json::Value& item : items)
        value.append(item);
    return value;
}

std::string folderOfSelf()
{
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return ".";
    const std::string self(path, static_cast<size_t>(n));
    return self.substr(0, self.find_last_of('/'));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || std::string(argv[1]) != "-Olvane") {
        std::fprintf(stderr, "usage: %s -Olvane\n", argv[0]);
        return 2;
    }
    std::string log = "pid " + std::to_string(::getpid()) + "\n";
    platform::rpc::Client client;
    if (!client.connect("OlvaneService", 5000)) {
        log += "connect failed\n";
    } else {
        struct Step
        {
            const char* procedure;
            Json::Value args;
        };
        const Step steps[] = {
            {"broadcast_info", list({list({"rtmp://127.0.0.1/live/room", "code-直播"})})},
            {"open_room_msg", list({list({"not a number", 1})})},
            {"open_room_msg", list({list({0, "开播成功"})})},
            {"liveCodeModuleClose", Json::Value(Json::arrayValue)},
        };
        for (const Step& step : steps) {
            std::string error;
            const bool ok = client.call(step.procedure, step.args, nullptr, &error, 5000);
            log += std::string(step.procedure) + (ok ? " ok" : " error: " + error) + "\n";
        }
    }
    // Whole or not at all: the test waits for this file.
    const std::string file = folderOfSelf() + "/rpc-client.log";
    {
        std::ofstream out(file + ".tmp", std::ios::trunc);
        out << log;
    }
    std::rename((file + ".tmp").c_str(), file.c_str());
    std::this_thread::sleep_for(std::chrono::seconds(20));
    return 0;
}
