#include "ItemKind.h"

namespace starloom {

namespace {

QStringList split(const char* names)
{
    return QString::fromLatin1(names).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

} // namespace

std::int32_t playerColour(int slot)
{
    static constexpr std::array<std::int32_t, playerSlots> colours = {
        rgb(255, 0, 0),
        rgb(0, 255, 0),
        rgb(0, 0, 255),
        rgb(255, 255, 0),
        rgb(0, 255, 255),
        rgb(255, 0, 255),
        rgb(255, 128, 0),
        rgb(255, 255, 255),
    };
    return colours[static_cast<std::size_t>(slot)];
}

const QStringList& builtInModels(ItemKind kind)
{
    // A kind missing here has no built-in models.
    static const ByTypeId<QStringList> lists = {
        QStringList{},
        QStringList{},
        split("asteroid_1 asteroid_2 asteroid_3 asteroid_4 asteroid_5"),
        split("cloud_0 cloud_nores cloud_nores2 cloud_nores3"),
        split("dustcloud_0 dustcloud_nores dustcloud_nores2 dustcloud_nores2_m05 dustcloud_nores3 "
              "dustcloud_nores3_m05 dustcloud_nores_m05 dustcloud_nores_nocharge dustcloud_teal"),
        split("meg_asteroid meg_asteroid_nosubs meg_asteroid_mp meg_balcoragate meg_bentus meg_bentus_ruin_1 "
              "meg_bentus_ruin_2 meg_bentus_ruin_3 meg_bentus_ruin_4 meg_bentus_ruin_5 meg_bentus_ruin_6 "
              "meg_bentus_ruin_7 meg_bentus_ruin_8 meg_bentus_ruin_9 meg_bentus_ruin_10 meg_bentus_ruin_11 "
              "meg_bentus_ruined meg_bentus_ruins_core_1 meg_bentus_ruins_core_2 meg_bentus_ruins_core_3 "
              "meg_bigred meg_chimera meg_dreadnaughtberth meg_foundry meg_foundrydebris_chunk1 "
              "meg_foundrydebris_chunk2 meg_foundrydebris_chunk3 meg_foundrydebris_chunk4 "
              "meg_foundrydebris_flake1 meg_foundrydebris_flake2 meg_foundrydebris_flake3 "
              "meg_foundrydebris_flake4 meg_gehenna_1 meg_gehenna_2 meg_gehenna_3 meg_gehenna_4 "
              "meg_gehenna_5 meg_gehenna_6 meg_gehenna_7 meg_misslefrigate meg_progenitorpowermodule "
              "meg_progenitorpowertrigger meg_progenitorpowertrigger_noui meg_sajhulknose "
              "meg_sajhulknose_ui meg_sajhulkpanels meg_sajhulkpanels_ui meg_sajhulkturret "
              "meg_salvagecollector meg_tanis meg_tanisstructure_medium meg_tanisstructure_medium2 "
              "meg_veildebris_bit1 meg_veildebris_bit2 meg_veildebris_bit3 meg_veildebris_bit4 "
              "meg_veildebris_bit5 meg_veildebris_bit6 meg_veildebris_bit7 meg_veildebris_bit8 "
              "meg_veildebris_bit9 meg_veildebris_bit10 meg_veildebris_bit11 meg_veildebris_bit12 "
              "meg_veildebris_bit13 meg_veildebris_bit14 meg_veildebris_bit15 meg_veildebris_chunk1 "
              "meg_veildebris_chunk2 meg_veildebris_chunk3 meg_veildebris_chunk4 meg_veildebris_chunk5 "
              "meg_veildebris_chunk_lighthouse meg_veildebris_flake1 meg_veildebris_flake2 "
              "meg_veildebris_flake3 meg_veildebris_flake4 meg_veildebris_flake5 meg_veildebris_flake6 "
              "meg_veildebris_flake7 meg_veildebris_flake8 meg_veildebris_flake9 meg_veildebris_flake10"),
        split("m05_dustcloud_nebula m05_nebuladustcloud_nores m05_nebuladustcloud_nores2 "
              "m05_nebuladustcloud_nores3 m07_foundry_radiation m08_nodamage_radiation m11_bentusi_debris "
              "m11_bentusi_radiation mp_bentusi_radiation nebula01_cream nebula01_teal nebula_0 nebula_hiding "
              "radiation"),
        split("pebble_0 pebble_1 pebble_2"),
        split("slv_chunk_lrg01 slv_chunk_lrg02 slv_chunk_lrg03 slv_chunk_lrg04 slv_chunk_lrg05 slv_chunk_sml01 "
              "slv_chunk_sml02 slv_chunk_sml03 slv_chunk_sml04 slv_chunk_sml05 slv_chunk_sml06 slv_chunk_sml07 "
              "slv_chunk_sml08 container"),
        split("hgn_assaultcorvette hgn_assaultcorvetteelite hgn_assaultfrigate hgn_attackbomber "
              "hgn_attackbomberelite hgn_battlecruiser hgn_carrier hgn_cloakingfrigate hgn_defensefieldfrigate "
              "hgn_destroyer hgn_dreadnaught hgn_drone_frigate hgn_drone_frigate_2 hgn_drone_frigate_3 "
              "hgn_ecmprobe hgn_gunplatform hgn_gunturret hgn_hscore hgn_interceptor hgn_ioncannonfrigate "
              "hgn_marinefrigate hgn_marinefrigate_soban hgn_minelayercorvette hgn_mothership hgn_probe "
              "hgn_proximitysensor hgn_pulsarcorvette hgn_pulsarplatform hgn_resourcecollector "
              "hgn_resourcecontroller hgn_scout hgn_shipyard hgn_shipyard_elohim hgn_shipyard_spg "
              "hgn_supportfrigate hgn_targetdrone hgn_torpedofrigate vgr_artillerycruiser vgr_assaultfrigate "
              "vgr_battlecruiser vgr_bomber vgr_carrier vgr_commandcorvette vgr_commstation vgr_destroyer "
              "vgr_heavymissilefrigate vgr_hyperspace_platform vgr_infiltrator_frigate vgr_interceptor "
              "vgr_lancefighter vgr_lasercorvette vgr_listeningpost vgr_minelayercorvette vgr_missilecorvette "
              "vgr_mothership vgr_mothership_makaan vgr_planetkiller vgr_planetkillermissile vgr_prisonstation "
              "vgr_probe vgr_probe_ecm vgr_probe_prox vgr_resourcecollector vgr_resourcecontroller vgr_scout "
              "vgr_shipyard vgr_transportfrigate vgr_weaponplatform_gun vgr_weaponplatform_missile "
              "kpr_attackdroid kpr_destroyer kpr_destroyerm10 kpr_mover kpr_mover_capture kpr_mover_salvage "
              "kpr_sajuuk kpr_sajuuk_nosensors"),
    };
    return lists[static_cast<std::size_t>(typeIdOf(kind))];
}

} // namespace starloom
