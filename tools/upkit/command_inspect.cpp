#include <fmt/format.h>

#include "archive_bytes_listing.h"
#include "cli_output.h"
#include "commands.h"
#include "engine_paths.h"
#include "inspect_report.h"
#include "kit_contents.h"

namespace upkit {

int command_inspect(const InspectOptions& options, std::ostream& out, std::ostream& err)
{
    kitread::KitContents kit;
    try {
        kit = kitread::read_kit_file(host_path_of(options.kit));
    } catch (const std::exception& e) {
        // Not a PE file, a damaged one, or no file at all: nothing to show.
        print_error(err, options.kit, e.what());
        return 1;
    }

    std::vector<ArchiveListing> listings;
    if (!kit.archives.empty()) {
        ArchiveBytesLister lister;
        for (const kitread::KitArchive& archive : kit.archives)
            listings.push_back(lister.list(archive.id, archive.bytes));
    }

    if (options.json) {
        // Member names that are not valid UTF-8 get replacement characters
        // instead of failing the whole report.
        out << inspect_json(options.kit, kit, listings).dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
            << '\n';
    } else {
        print_inspect_text(out, options.kit, kit, listings);
    }
    return 0;
}

}  // namespace upkit
