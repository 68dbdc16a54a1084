// Metrics as Prometheus reads them: families of counters, gauges and
// histograms, each sample named by its label values, and the text
// exposition format (version 0.0.4) of them all. Safe to count on one thread
// while another writes the text.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

enum class MetricType { Counter, Gauge, Histogram };

class MetricRegistry {
public:
    using Labels = std::vector<std::string>;  // values, in the family's label order

    // A family; its index names it below. A histogram's upper bounds go up
    // (+Inf is added).
    size_t Add(const std::string &name, MetricType type, const std::string &help,
               const std::vector<std::string> &labelNames, const std::vector<double> &buckets = {});
    // A sample at zero, so that it is there before its first event.
    void Touch(size_t family, const Labels &labels);
    void Increment(size_t family, const Labels &labels, double by = 1);
    void Set(size_t family, const Labels &labels, double value);
    void Observe(size_t family, const Labels &labels, double value);

    std::string Exposition() const;

private:
    struct Sample {
        double value = 0;             // counter, gauge; a histogram's sum
        std::vector<double> buckets;  // a histogram: observations per bucket, not cumulative
        double count = 0;             // a histogram's observations
    };
    struct Family {
        std::string name, help;
        MetricType type;
        std::vector<std::string> labelNames;
        std::vector<double> bounds;
        std::map<Labels, Sample> samples;
    };
    Sample &At(size_t family, const Labels &labels);

    mutable std::mutex mutex;
    std::vector<Family> families;
};

// A sample's value as the format writes it: shortest round trip, +Inf, NaN.
std::string MetricValue(double value);
// A label's value between its quotes: \, " and line ends escaped.
std::string MetricLabelValue(const std::string &text);
