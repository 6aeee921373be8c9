#include "logic/livemgrservice.h"

#include <platform/rpc.h>

#include <QDebug>

namespace {

const char kServiceName[] = "OlvaneService";

using platform::rpc::CallHandle;

// The procedures take one list; its elements are checked here, since the
// caller is another program.
bool element(const Json::Value& args, Json::ArrayIndex index, bool wantText, Json::Value* out)
{
    const Json::Value& list = args[0];
    if (!list.isArray() || list.size() <= index)
        return false;
    const Json::Value& value = list[index];
    if (wantText ? !value.isString() : !(value.isIntegral() && !value.isBool() && value.isInt()))
        return false;
    *out = value;
    return true;
}

void refuse(const CallHandle& call, const char* procedure)
{
    qWarning() << "[Logic] by kx LiveMgrService {bad arguments of" << procedure << "}";
    platform::rpc::completeWithError(call, "bad arguments");
}

} // namespace

LiveMgrService::LiveMgrService() = default;

LiveMgrService::~LiveMgrService()
{
    if (m_service)
        m_service->stop();
}

bool LiveMgrService::startService()
{
    if (m_service)
        return m_service->running();
    m_service = std::make_unique<platform::rpc::Service>([](int status) {
        if (status != 1)
            qWarning() << "by kx client connect failed";
    });
    m_service->registerProcedure("broadcast_info", "O", [this](const Json::Value& args, const CallHandle& call) {
        Json::Value url, code;
        if (!element(args, 0, true, &url) || !element(args, 1, true, &code))
            return refuse(call, "broadcast_info");
        platform::rpc::complete(call);
        emit sglBroadcastInfoMsg(QString::fromStdString(url.asString()), QString::fromStdString(code.asString()));
    });
    m_service->registerProcedure("open_room_msg", "O", [this](const Json::Value& args, const CallHandle& call) {
        Json::Value res, msg;
        if (!element(args, 0, false, &res) || !element(args, 1, true, &msg))
            return refuse(call, "open_room_msg");
        platform::rpc::complete(call);
        emit sglOpenLiveRoomResult(res.asInt(), QString::fromStdString(msg.asString()));
    });
    m_service->registerProcedure("liveCodeModuleClose", "", [this](const Json::Value&, const CallHandle& call) {
        platform::rpc::complete(call);
        emit sglLiveCodeModuleClose();
    });
    if (!m_service->start(kServiceName)) {
        qWarning() << "[Logic] by kx LiveMgrService::startService {cannot start" << kServiceName << "}";
        return false;
    }
    return true;
}
