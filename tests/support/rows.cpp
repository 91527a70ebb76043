#include "tests/support/rows.h"

#include <gtest/gtest.h>

#include <fstream>

const std::string& Row::operator[](size_t index) const
{
    const ByteText& field = fields.at(index);
    if (!field.pauses.empty())
        ADD_FAILURE_AT(file.c_str(), line) << "field " << index + 1 << " holds a pause, but is not sent in time";
    return field.bytes;
}

std::vector<std::string> Row::From(size_t first) const
{
    std::vector<std::string> bytes;
    for (size_t i = first; i < size(); i++)
        bytes.push_back((*this)[i]);
    return bytes;
}

std::map<std::string, std::string> Row::Named(size_t first, std::map<std::string, std::string> values,
                                              std::vector<std::string>* rest) const
{
    for (const std::string& field : From(first)) {
        size_t equals = field.find('=');
        if (equals != std::string::npos && values.count(field.substr(0, equals)))
            values[field.substr(0, equals)] = field.substr(equals + 1);
        else if (rest)
            rest->push_back(field);
        else
            ADD_FAILURE_AT(file.c_str(), line) << "'" << field << "' is no NAME=VALUE of a known name";
    }
    return values;
}

void PrintTo(const Row& row, std::ostream* out)
{
    *out << row.Where();
}

std::vector<std::string> SplitFields(const std::string& text)
{
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '|') {
            fields.emplace_back();
            continue;
        }
        fields.back() += text[i];
        if (text[i] == '\\' && i + 1 < text.size())
            fields.back() += text[++i];
    }
    return fields;
}

const RowShape* FindShape(const std::vector<RowShape>& shapes, const std::string& verb)
{
    const RowShape* any = nullptr;
    for (const RowShape& shape : shapes) {
        if (shape.verb == verb)
            return &shape;
        if (shape.verb.empty())
            any = &shape;
    }
    return any;
}

std::string CountText(const RowShape& shape)
{
    if (shape.most == ANY_NUMBER)
        return std::to_string(shape.fewest) + " or more";
    return shape.fewest == shape.most ? std::to_string(shape.fewest)
                                      : std::to_string(shape.fewest) + " to " + std::to_string(shape.most);
}

std::vector<Row> ParseRows(std::istream& in, const std::string& file, const std::vector<RowShape>& shapes,
                           std::vector<std::string>* problems)
{
    std::vector<Row> rows;
    int number = 0;
    for (std::string text; std::getline(in, text);) {
        number++;
        if (text.empty() || text[0] == '#')
            continue;
        Row row{file, number, SplitFields(text), {}};
        auto complain = [&](const std::string& why) { problems->push_back(file + ":" + std::to_string(number) + ": " + why); };
        std::string verb = row.raw[0];
        const RowShape* shape = FindShape(shapes, verb);
        if (!shape) {
            complain("unknown verb '" + verb + "'");
            continue;
        }
        if (row.raw.size() < shape->fewest || row.raw.size() > shape->most) {
            complain((shape->verb.empty() ? std::string("a row") : "'" + verb + "'") + " has " + std::to_string(row.raw.size()) +
                     " fields, not " + CountText(*shape));
            continue;
        }
        int readable = 1;
        for (size_t i = 0; i < row.raw.size(); i++) {
            row.fields.emplace_back();
            std::string problem = ReadByteText(row.raw[i], &row.fields.back());
            if (!problem.empty()) {
                complain("field " + std::to_string(i + 1) + ": " + problem);
                readable = 0;
            }
        }
        if (readable)
            rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<Row> ReadRows(const std::string& name, const std::vector<RowShape>& shapes)
{
    return ReadDataFile(std::string(TESTS_DIR) + "/" + name, [&](std::istream& in, const std::string& path, auto problems) {
        return ParseRows(in, path, shapes, problems);
    });
}
