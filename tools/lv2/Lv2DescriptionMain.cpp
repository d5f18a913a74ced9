// vantora-lv2-description: completes the LV2 description the framework writes (its dsp.ttl), as LV2
// hosts and lint tools expect it: bounds, defaults and scale points as decimals (the framework writes
// whole numbers as Turtle integers although the ranges are floats), a unit for every parameter whose
// value has one, the project's license and a plugin class; it also drops the empty maintainer mail
// address and declares the property the framework's preset uses. Run after each LV2 build; running
// it twice changes nothing.
#include "processor/ParameterLayout.h"

#include <algorithm>
#include <fstream>
#include <iostream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace
{
const char* const licenseUri = "https://vantora.audio/license";
const char* const pluginClass = "lv2:DynamicsPlugin";
const char* const programProperty = "plug:Program"; // the state key of the framework's "Default" preset

std::map<std::string, std::string> lv2UnitsById()
{
    const std::map<std::string, std::string> lv2Unit {
        { "dB", "units:db" }, { "Hz", "units:hz" }, { "ms", "units:ms" }, { "s", "units:s" }
    };
    std::map<std::string, std::string> units;
    for (int i = 0; i < numParameters; ++i)
    {
        const std::string unit = parameterUnit (static_cast<Param> (i));
        if (! unit.empty())
            units[parameterId (static_cast<Param> (i))] = lv2Unit.at (unit);
    }
    return units;
}

/** "lv2:maximum 1 ;" becomes "lv2:maximum 1.0 ;"; decimals and exponents stay as they are. */
std::string withDecimalNumber (const std::string& line)
{
    static const std::regex wholeNumber (
        R"(^(\s*(?:lv2:default|lv2:minimum|lv2:maximum|rdf:value)\s+-?\d+)(\s.*|;.*|)$)");
    return std::regex_replace (line, wholeNumber, "$1.0$2");
}

std::string completed (std::istream& in)
{
    static const std::regex parameterSubject (R"(^plug:(\w+)$)");
    static const std::regex bareClass (R"(^(\s*)a lv2:Plugin ;\s*$)");
    const auto units = lv2UnitsById();

    std::vector<std::string> lines;
    for (std::string line; std::getline (in, line);)
        lines.push_back (line);

    std::ostringstream out;
    std::string parameter;
    for (size_t i = 0; i < lines.size(); ++i)
    {
        const auto& line = lines[i];
        std::smatch match;
        if (std::regex_match (line, match, parameterSubject))
            parameter = match[1];
        else if (line.empty())
            parameter.clear();

        if (std::regex_match (line, match, bareClass))
        {
            out << match[1] << "a lv2:Plugin , " << pluginClass << " , doap:Project ;\n"
                << match[1] << "doap:license <" << licenseUri << "> ;\n";
            continue;
        }

        if (line.find ("foaf:mbox <>") != std::string::npos)
            continue;
        out << withDecimalNumber (line) << "\n";

        const auto unit = units.find (parameter);
        const bool unitFollows = i + 1 < lines.size() && lines[i + 1].find ("units:unit") != std::string::npos;
        if (unit != units.end() && ! unitFollows && line.find ("rdfs:range atom:Float") != std::string::npos)
            out << "\tunits:unit " << unit->second << " ;\n";
    }
    if (std::find (lines.begin(), lines.end(), programProperty) == lines.end())
        out << "\n" << programProperty << "\n\ta rdf:Property ;\n\trdfs:label \"Program\" .\n";
    return out.str();
}
} // namespace

int main (int argc, char** argv)
{
    if (argc != 2)
    {
        std::cerr << "usage: vantora-lv2-description BUNDLE/dsp.ttl\n";
        return 2;
    }

    std::ifstream in (argv[1]);
    if (! in)
    {
        std::cerr << "vantora-lv2-description: cannot read " << argv[1] << "\n";
        return 1;
    }
    const auto text = completed (in);
    in.close();

    std::ofstream out (argv[1], std::ios::trunc);
    out << text;
    if (! out)
    {
        std::cerr << "vantora-lv2-description: cannot write " << argv[1] << "\n";
        return 1;
    }
    return 0;
}
