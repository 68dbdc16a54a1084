#include "station/metrics/metric_registry.h"

#include <charconv>
#include <cmath>

namespace {

const char *TypeName(MetricType type)
{
    switch (type) {
    case MetricType::Counter: return "counter";
    case MetricType::Gauge: return "gauge";
    case MetricType::Histogram: return "histogram";
    }
    return "untyped";
}

// \ and line ends escaped, and with `quotes` double quotes too (a label's
// value; HELP text keeps them).
std::string Escaped(const std::string &text, bool quotes)
{
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '"' && quotes)
            out += "\\\"";
        else
            out += c;
    }
    return out;
}

// {a="x",b="y"} with `extra` (a histogram's le) last; empty without labels.
std::string LabelSet(const std::vector<std::string> &names, const MetricRegistry::Labels &values,
                     const std::string &extra = std::string())
{
    std::string out;
    for (size_t i = 0; i < names.size() && i < values.size(); ++i)
        out += (out.empty() ? "" : ",") + names[i] + "=\"" + MetricLabelValue(values[i]) + "\"";
    if (!extra.empty())
        out += (out.empty() ? "" : ",") + extra;
    return out.empty() ? out : "{" + out + "}";
}

}  // namespace

std::string MetricValue(double value)
{
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value > 0 ? "+Inf" : "-Inf";
    char text[32];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, value);
    return std::string(text, r.ptr);
}

std::string MetricLabelValue(const std::string &text)
{
    return Escaped(text, true);
}

size_t MetricRegistry::Add(const std::string &name, MetricType type, const std::string &help,
                           const std::vector<std::string> &labelNames, const std::vector<double> &buckets)
{
    std::lock_guard<std::mutex> lock(mutex);
    families.push_back(Family{name, help, type, labelNames, buckets, {}});
    return families.size() - 1;
}

MetricRegistry::Sample &MetricRegistry::At(size_t family, const Labels &labels)
{
    Family &f = families.at(family);
    Sample &s = f.samples[labels];
    if (f.type == MetricType::Histogram && s.buckets.empty())
        s.buckets.assign(f.bounds.size() + 1, 0);
    return s;
}

void MetricRegistry::Touch(size_t family, const Labels &labels)
{
    std::lock_guard<std::mutex> lock(mutex);
    At(family, labels);
}

void MetricRegistry::Increment(size_t family, const Labels &labels, double by)
{
    std::lock_guard<std::mutex> lock(mutex);
    At(family, labels).value += by;
}

void MetricRegistry::Set(size_t family, const Labels &labels, double value)
{
    std::lock_guard<std::mutex> lock(mutex);
    At(family, labels).value = value;
}

void MetricRegistry::Observe(size_t family, const Labels &labels, double value)
{
    std::lock_guard<std::mutex> lock(mutex);
    const std::vector<double> &bounds = families.at(family).bounds;
    Sample &s = At(family, labels);
    size_t bucket = 0;
    while (bucket < bounds.size() && value > bounds[bucket])
        ++bucket;
    s.buckets[bucket] += 1;
    s.value += value;
    s.count += 1;
}

std::string MetricRegistry::Exposition() const
{
    std::lock_guard<std::mutex> lock(mutex);
    std::string out;
    for (const Family &f : families) {
        out += "# HELP " + f.name + " " + Escaped(f.help, false) + "\n";
        out += "# TYPE " + f.name + " " + TypeName(f.type) + "\n";
        for (const auto &[labels, s] : f.samples) {
            if (f.type != MetricType::Histogram) {
                out += f.name + LabelSet(f.labelNames, labels) + " " + MetricValue(s.value) + "\n";
                continue;
            }
            double cumulative = 0;
            for (size_t b = 0; b < s.buckets.size(); ++b) {
                cumulative += s.buckets[b];
                const std::string le = b < f.bounds.size() ? MetricValue(f.bounds[b]) : "+Inf";
                out += f.name + "_bucket" + LabelSet(f.labelNames, labels, "le=\"" + le + "\"") + " " +
                       MetricValue(cumulative) + "\n";
            }
            out += f.name + "_sum" + LabelSet(f.labelNames, labels) + " " + MetricValue(s.value) + "\n";
            out += f.name + "_count" + LabelSet(f.labelNames, labels) + " " + MetricValue(s.count) + "\n";
        }
    }
    return out;
}
