#include "store/AbrirBaseDatos.h"

#include <gtest/gtest.h>

#include <fstream>
#include <initializer_list>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A fresh folder of its own, removed with everything in it.
class CarpetaTemporal {
 public:
  CarpetaTemporal() {
    std::string plantilla = (fs::temp_directory_path() / "abrirbd-XXXXXX").string();
    Ruta = mkdtemp(plantilla.data());
  }
  ~CarpetaTemporal() {
    std::error_code ignorado;
    fs::permissions(Ruta, fs::perms::owner_all, fs::perm_options::add, ignorado);
    fs::remove_all(Ruta, ignorado);
  }
  void Fichero(const std::string& nombre) const { std::ofstream(Ruta / nombre) << "x"; }
  fs::path Ruta;
};

struct CasoBusqueda {
  std::initializer_list<const char*> Ficheros;
  std::initializer_list<const char*> Carpetas;
  const char* Hallado;  // "" when none
};

TEST(BuscaBaseDatos, FindsTheFileWhateverTheLetterCase) {
  const CasoBusqueda casos[] = {
      {{}, {}, ""},
      {{"Zelmarot.zdb"}, {}, "Zelmarot.zdb"},
      {{"zelmarot.ZDB"}, {}, "zelmarot.ZDB"},
      {{"ZELMAROT.ZDB", "otro.txt"}, {}, "ZELMAROT.ZDB"},
      // The exact spelling wins over others; otherwise the first in byte order.
      {{"ZELMAROT.ZDB", "Zelmarot.zdb", "zelmarot.zdb"}, {}, "Zelmarot.zdb"},
      {{"zelmarot.zdb", "ZELMAROT.zdb"}, {}, "ZELMAROT.zdb"},
      // Near names and folders do not count.
      {{"Zelmarot.zdb.bak", "Zelmarot", "xZelmarot.zdb", "Zelmarot.zd"}, {}, ""},
      {{}, {"Zelmarot.zdb"}, ""},
      {{"zelmarot.zdb"}, {"Zelmarot.zdb"}, "zelmarot.zdb"},
  };
  for (const CasoBusqueda& caso : casos) {
    CarpetaTemporal carpeta;
    for (const char* nombre : caso.Ficheros) carpeta.Fichero(nombre);
    for (const char* nombre : caso.Carpetas) fs::create_directory(carpeta.Ruta / nombre);
    const fs::path esperado = *caso.Hallado ? carpeta.Ruta / caso.Hallado : fs::path();
    EXPECT_EQ(BuscaBaseDatos(carpeta.Ruta), esperado) << "expected \"" << caso.Hallado << '"';
  }
}

TEST(BuscaBaseDatos, FollowsLinksToTheFileButNotBrokenOnes) {
  CarpetaTemporal carpeta;
  carpeta.Fichero("datos.bin");
  fs::create_symlink(carpeta.Ruta / "datos.bin", carpeta.Ruta / "Zelmarot.zdb");
  EXPECT_EQ(BuscaBaseDatos(carpeta.Ruta), carpeta.Ruta / "Zelmarot.zdb");

  CarpetaTemporal rota;
  fs::create_symlink(rota.Ruta / "falta.bin", rota.Ruta / "Zelmarot.zdb");
  EXPECT_EQ(BuscaBaseDatos(rota.Ruta), fs::path());
}

TEST(BuscaBaseDatos, AnUnreadableOrMissingFolderMeansNoDatabase) {
  CarpetaTemporal carpeta;
  EXPECT_EQ(BuscaBaseDatos(carpeta.Ruta / "no-existe"), fs::path());
  EXPECT_EQ(BuscaBaseDatos(fs::path()), fs::path());
  carpeta.Fichero("Zelmarot.zdb");
  EXPECT_EQ(BuscaBaseDatos(carpeta.Ruta / "Zelmarot.zdb"), fs::path());  // a file, not a folder
  if (geteuid() != 0) {  // root reads any folder
    fs::permissions(carpeta.Ruta, fs::perms::owner_read, fs::perm_options::remove);
    EXPECT_EQ(BuscaBaseDatos(carpeta.Ruta), fs::path());
  }
}

// The one test that touches the executable's folder: the file appears there and goes again.
TEST(AbrirBaseDatos, LooksInTheExecutablesFolder) {
  const fs::path carpeta = CarpetaEjecutable();
  ASSERT_FALSE(carpeta.empty());
  EXPECT_TRUE(fs::exists(carpeta / "store_AbrirBaseDatos_test"));

  const fs::path fichero = carpeta / "zELMAROT.zdb";
  ASSERT_FALSE(fs::exists(fichero));
  std::ofstream(fichero) << "x";
  const std::string hallado = AbrirBaseDatos();
  fs::remove(fichero);
  EXPECT_EQ(hallado, fichero.string());
}

}  // namespace
