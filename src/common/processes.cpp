// The processes of one run: one, or several started together by mpirun in
// a build with MPI. Every process holds the whole level and computes the
// same tree; each walks its own block of the vertices, and the blocks are
// then shared, so the result does not depend on the number of processes.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "common/common.h"

#ifdef FRLAYOUT_HAVE_MPI
#include <mpi.h>
#endif

void process_block(int64_t n, int rank, int count, int64_t& first, int64_t& end) {
  first = n * rank / count;
  end = n * (rank + 1) / count;
}

#ifdef FRLAYOUT_HAVE_MPI

namespace {

/// Pieces of at most this many doubles per collective call, so that counts
/// and displacements fit MPI's int.
constexpr int64_t kMaxPiece = int64_t{1} << 28;

}  // namespace

bool processes_available() { return true; }

/// Whether a launcher (mpirun, mpiexec, srun) started this process: only
/// then is MPI started, so that a lone run is the plain tool, without
/// MPI's runtime and its limits.
bool launched_together() {
  for (const char* name : {"OMPI_COMM_WORLD_SIZE", "PMI_SIZE", "PMIX_RANK", "MPI_LOCALNRANKS"})
    if (std::getenv(name) != nullptr) return true;
  return false;
}

Processes start_processes(int& argc, char**& argv) {
  Processes p;
  if (!launched_together()) return p;
  MPI_Init(&argc, &argv);
  MPI_Comm_rank(MPI_COMM_WORLD, &p.rank);
  MPI_Comm_size(MPI_COMM_WORLD, &p.count);
  return p;
}

void finish_processes() {
  int started = 0, finished = 0;
  MPI_Initialized(&started);
  MPI_Finalized(&finished);
  if (started && !finished) MPI_Finalize();
}

void abort_processes(int status) {
  MPI_Abort(MPI_COMM_WORLD, status);
  std::exit(status);  // not reached
}

void share_blocks(const Processes& p, double* data, int64_t n, int width) {
  if (p.count <= 1) return;
  // Piece by piece over the item range, each process sending its part of
  // the piece, so that every count stays small.
  std::vector<int> counts(static_cast<size_t>(p.count)), displs(static_cast<size_t>(p.count));
  const int64_t piece = kMaxPiece / width;
  for (int64_t lo = 0; lo < n; lo += piece) {
    const int64_t hi = std::min(n, lo + piece);
    for (int r = 0; r < p.count; ++r) {
      int64_t first, end;
      process_block(n, r, p.count, first, end);
      first = std::clamp(first, lo, hi);
      end = std::clamp(end, lo, hi);
      counts[static_cast<size_t>(r)] = static_cast<int>((end - first) * width);
      displs[static_cast<size_t>(r)] = static_cast<int>((first - lo) * width);
    }
    MPI_Allgatherv(MPI_IN_PLACE, 0, MPI_DATATYPE_NULL, data + lo * width, counts.data(),
                   displs.data(), MPI_DOUBLE, MPI_COMM_WORLD);
  }
}

bool all_ok(const Processes& p, bool ok) {
  if (p.count <= 1) return ok;
  int mine = ok ? 1 : 0, all = 0;
  MPI_Allreduce(&mine, &all, 1, MPI_INT, MPI_LAND, MPI_COMM_WORLD);
  return all != 0;
}

void broadcast(const Processes& p, void* data, int64_t bytes) {
  if (p.count <= 1) return;
  char* at = static_cast<char*>(data);
  for (int64_t lo = 0; lo < bytes; lo += kMaxPiece)
    MPI_Bcast(at + lo, static_cast<int>(std::min(kMaxPiece, bytes - lo)), MPI_BYTE, 0,
              MPI_COMM_WORLD);
}

#else

bool processes_available() { return false; }
Processes start_processes(int&, char**&) { return Processes{}; }
void finish_processes() {}
void abort_processes(int status) { std::exit(status); }
void share_blocks(const Processes&, double*, int64_t, int) {}
bool all_ok(const Processes&, bool ok) { return ok; }
void broadcast(const Processes&, void*, int64_t) {}

#endif
