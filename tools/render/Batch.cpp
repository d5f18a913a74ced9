#include "render/Batch.h"

#include <mutex>
#include <thread>

namespace
{
constexpr int workers = 2;

juce::File outputFor (const juce::File& input, const juce::File& folder)
{
    const auto name =
        input.hasFileExtension ("wav;flac") ? input.getFileName() : input.getFileNameWithoutExtension() + ".wav";
    return folder.getChildFile (name);
}

/** Two inputs with the same name would write the same output: the later ones fail instead. */
juce::String clashWithEarlier (const std::vector<BatchItem>& items, size_t index)
{
    for (size_t i = 0; i < index; ++i)
        if (items[i].output == items[index].output)
            return "'" + items[i].input.getFullPathName() + "' already renders to '"
                   + items[index].output.getFullPathName() + "'";
    return {};
}
} // namespace

std::vector<BatchItem> renderBatch (const RenderOptions& options, const std::optional<LoudnessTarget>& target,
                                    const juce::Array<juce::File>& inputs, const juce::File& folder,
                                    const std::function<void (const BatchItem&)>& done, const std::atomic<bool>& cancel)
{
    std::vector<BatchItem> items;
    for (const auto& input : inputs)
        items.push_back ({ input, outputFor (input, folder), {} });

    std::atomic<size_t> nextItem { 0 };
    std::mutex reporting;
    const auto work = [&]
    {
        for (auto index = nextItem++; index < items.size(); index = nextItem++)
        {
            auto& item = items[index];
            auto fileOptions = options;
            fileOptions.input = item.input;
            fileOptions.output = item.output;
            if (auto clash = clashWithEarlier (items, index); clash.isNotEmpty())
                item.result.error = clash;
            else
                item.result =
                    target ? renderToTarget (fileOptions, *target, {}, cancel) : renderFile (fileOptions, {}, cancel);

            const std::scoped_lock lock (reporting);
            if (done)
                done (item);
        }
    };

    std::vector<std::thread> threads;
    for (int i = 0; i < workers; ++i)
        threads.emplace_back (work);
    for (auto& t : threads)
        t.join();
    return items;
}
