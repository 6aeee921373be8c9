#pragma once
// JSON text as a value for tests; a null value when it does not parse.

#include <json/json.h>

#include <memory>
#include <string>

namespace zavmo::test {

inline Json::Value parseJson(const std::string& text)
{
    Json::CharReaderBuilder builder;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value value;
    std::string errors;
    if (!reader->parse(text.data(), text.data() + text.size(), &value, &errors))
        return Json::Value();
    return value;
}

} // namespace zavmo::test
