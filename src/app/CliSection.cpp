// --section X/Y|Y/Z|X/Z --at X,Y,Z [--csv OUT.csv] FILE: the section points as CSV.
#include "analysis/SectionCsv.h"
#include "analysis/SectionCutter.h"
#include "analysis/SectionPlane.h"
#include "app/Cli.h"
#include "io/AtomicFile.h"
#include "session/SessionModel.h"

#include <cstdio>
#include <string>

int runSection(const CliArgs &args) {
  const auto record = axisRecordFromName(args.plane);
  if (!record)
    return cliFail("--section takes X/Y, Y/Z or X/Z, not '" + args.plane + "'");
  if (args.file.empty())
    return cliFail("no input file given");
  if (const std::string problem = targetIsInputProblem(args.output, args.file); !problem.empty())
    return cliFail(problem);

  SessionModel model;
  if (const std::string error = cliReadModel(args, model); !error.empty())
    return cliFail(error);

  // Section points are coloured as in the view: the standard layout, whatever the point filter.
  const ColourScale scale = bannerScale(args.display);
  const Vec3d at{args.at[0], args.at[1], args.at[2]};
  const SectionResult section =
      SectionCutter().cut(SectionMesh::of(model), record->normal(), at, scale);
  if (section.capacityReached)
    std::fprintf(stderr,
                 "velmora-viewer: the plane crosses more than %zu triangles; the section keeps "
                 "the first %zu\n",
                 SectionCutter::kCapacity, SectionCutter::kCapacity);
  // An empty table would read as a successful cut.
  if (section.points.empty())
    return cliFail(args.file + (model.hasTriangles()
                                    ? ": the plane does not cut the model"
                                    : ": the plane does not cut the model (it has no triangles)"));
  const std::string csv = sectionCsv(section);

  if (args.output.empty()) {
    if (std::fwrite(csv.data(), 1, csv.size(), stdout) != csv.size() || std::fflush(stdout) != 0)
      return cliFail("cannot write to standard output");
    return 0;
  }
  AtomicFile out(args.output);
  out.write(csv);
  if (!out.commit())
    return cliFail(out.error());
  return 0;
}
