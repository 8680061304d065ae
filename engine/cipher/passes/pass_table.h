// The passes of one shape, by number, for callers that run them in turn,
// and which file each pass reads and writes.
#pragma once

#include "cipher/passes/coder.h"

namespace qvx {

// The files a pass can read or write: the user's origin, the two work
// files, and the user's destination (written through the run's
// temporary output).
enum class Role { origin, first, second, destination };

struct Route {
  Role from;
  Role to;
};

// Encoding: pass 1 reads the origin, odd passes write the first work file
// and even ones the second, pass 23 writes the destination. Decoding reads
// what encoding writes and writes what it reads, with origin and
// destination trading places.
constexpr Route route(Direction d, int pass) {
  const Role written = pass == 23 ? Role::destination : pass % 2 == 0 ? Role::second : Role::first;
  const Role read = pass == 1 ? Role::origin : pass % 2 == 0 ? Role::first : Role::second;
  if (d == Direction::encode) return {read, written};
  auto mirrored = [](Role r) {
    return r == Role::origin ? Role::destination : r == Role::destination ? Role::origin : r;
  };
  return {mirrored(written), mirrored(read)};
}

inline const char* file_of(const coder& c, Role r, const char* first, const char* second) {
  switch (r) {
    case Role::origin: return c.porigen();
    case Role::first: return first;
    case Role::second: return second;
    case Role::destination: return c.pdestino();
  }
  return nullptr;
}

using TextPass = int (codifica::*)(const char*, const char*, const char*);
using TextUnpass = int (decodifica::*)(const char*, const char*, const char*);
using PlainPass = int (codifica::*)(const char*, const char*);
using PlainUnpass = int (decodifica::*)(const char*, const char*);

// Passes 1 to 8.
inline constexpr TextPass kEncode1to8[] = {
    &codifica::codifica_clave1, &codifica::codifica_clave2, &codifica::codifica_clave3,
    &codifica::codifica_clave4, &codifica::codifica_clave5, &codifica::codifica_clave6,
    &codifica::codifica_clave7, &codifica::codifica_clave8};
inline constexpr TextUnpass kDecode1to8[] = {
    &decodifica::decodifica_clave1, &decodifica::decodifica_clave2, &decodifica::decodifica_clave3,
    &decodifica::decodifica_clave4, &decodifica::decodifica_clave5, &decodifica::decodifica_clave6,
    &decodifica::decodifica_clave7, &decodifica::decodifica_clave8};
// Passes 11 to 22.
inline constexpr PlainPass kEncode11to22[] = {
    &codifica::codifica_clave11, &codifica::codifica_clave12, &codifica::codifica_clave13,
    &codifica::codifica_clave14, &codifica::codifica_clave15, &codifica::codifica_clave16,
    &codifica::codifica_clave17, &codifica::codifica_clave18, &codifica::codifica_clave19,
    &codifica::codifica_clave20, &codifica::codifica_clave21, &codifica::codifica_clave22};
inline constexpr PlainUnpass kDecode11to22[] = {
    &decodifica::decodifica_clave11, &decodifica::decodifica_clave12, &decodifica::decodifica_clave13,
    &decodifica::decodifica_clave14, &decodifica::decodifica_clave15, &decodifica::decodifica_clave16,
    &decodifica::decodifica_clave17, &decodifica::decodifica_clave18, &decodifica::decodifica_clave19,
    &decodifica::decodifica_clave20, &decodifica::decodifica_clave21, &decodifica::decodifica_clave22};

}  // namespace qvx
