#include "store/AbrirBaseDatos.h"

#include <algorithm>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

// ASCII folding is enough: the name has no letters outside ASCII, and folding bytes of a
// UTF-8 name that is not ours can never turn it into ours.
bool MismoNombreSinCaja(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    const auto minuscula = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return minuscula(x) == minuscula(y);
  });
}

}  // namespace

fs::path CarpetaEjecutable() {
  std::error_code error;
  const fs::path ejecutable = fs::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return ejecutable.parent_path();
}

fs::path BuscaBaseDatos(const fs::path& carpeta) {
  if (carpeta.empty()) return {};
  std::error_code error;
  fs::directory_iterator entrada(carpeta, error);
  if (error) return {};

  std::vector<std::string> candidatos;
  for (; entrada != fs::directory_iterator(); entrada.increment(error)) {
    const std::string nombre = entrada->path().filename().string();
    std::error_code errorTipo;
    // is_regular_file follows links, so a link to the database counts and a folder does not.
    if (MismoNombreSinCaja(nombre, NombreBaseDatos) && entrada->is_regular_file(errorTipo)) {
      candidatos.push_back(nombre);
    }
  }
  if (error || candidatos.empty()) return {};
  const auto exacto = std::find(candidatos.begin(), candidatos.end(), NombreBaseDatos);
  if (exacto != candidatos.end()) return carpeta / *exacto;
  return carpeta / *std::min_element(candidatos.begin(), candidatos.end());
}

std::string AbrirBaseDatos() {
  return BuscaBaseDatos(CarpetaEjecutable()).string();
}
