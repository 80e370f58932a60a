; The installer's own texts, in Russian (MUI's Russian language file gives the rest).
; $0 and $1 are set where a text names a file, an exit code or switches.

LangString OMB_TITLE_program ${LANG_RUSSIAN} "Ombrevale"
LangString OMB_DESCRIPTION_program ${LANG_RUSSIAN} "Программа, описание, изменения и лицензия."

; The automation servers, one of them at most: each title fits the components list at 96
; and 144 DPI, and each description the line below it.
LangString OMB_TITLE_servers ${LANG_RUSSIAN} "Сервер автоматизации"
LangString OMB_DESCRIPTION_servers ${LANG_RUSSIAN} "Через него программа работает с машинами."
LangString OMB_TITLE_none ${LANG_RUSSIAN} "Сервер Virtual PC"
LangString OMB_DESCRIPTION_none ${LANG_RUSSIAN} "Ничего не ставить: работать с сервером Virtual PC."
LangString OMB_TITLE_demohost ${LANG_RUSSIAN} "Демонстрационный сервер"
LangString OMB_DESCRIPTION_demohost ${LANG_RUSSIAN} "Машины-образцы для пробы без Virtual PC."
LangString OMB_TITLE_qemuhost ${LANG_RUSSIAN} "Мост QEMU"
LangString OMB_DESCRIPTION_qemuhost ${LANG_RUSSIAN} "Дисководы машин QEMU из файла машин моста."
LangString OMB_TITLE_hypervhost ${LANG_RUSSIAN} "Мост Hyper-V"
LangString OMB_DESCRIPTION_hypervhost ${LANG_RUSSIAN} "Дисководы машин Hyper-V, здесь и по сети."

LangString OMB_UNAVAILABLE ${LANG_RUSSIAN} "(недоступен)"
LangString OMB_CLASS_TAKEN ${LANG_RUSSIAN} "Класс VirtualPC на этом компьютере уже зарегистрирован за другим сервером:$\r$\n$\r$\n$OmbClassOwner$\r$\n$\r$\nСкорее всего, это Virtual PC. Серверы из комплекта Ombrevale заняли бы его место, поэтому они не будут установлены: программа будет работать с ним."
LangString OMB_CLASS_TAKEN_SHORT ${LANG_RUSSIAN} "Недоступен: класс VirtualPC занят другим сервером."
LangString OMB_ONE_SERVER ${LANG_RUSSIAN} "Сервер автоматизации можно выбрать только один, а указаны ключи$0. Оставьте один из них. Ничего не установлено."
LangString OMB_COMPONENTS_TOP ${LANG_RUSSIAN} "Программа ставится всегда. Сервер автоматизации, через который она работает с машинами, выберите один."
LangString OMB_START_PROGRAM ${LANG_RUSSIAN} "Запустить Ombrevale"

LangString OMB_LICENSE_BOTTOM ${LANG_RUSSIAN} "Ombrevale распространяется по лицензии MIT. Принимать её не нужно: она разрешает, а не обязывает."

LangString OMB_UNINSTALLER_FAILED ${LANG_RUSSIAN} "Не удалось записать программу удаления $INSTDIR\Uninstall.exe. Установка прервана."
LangString OMB_SHORTCUT_FAILED ${LANG_RUSSIAN} "Не удалось создать ярлык Ombrevale в меню «Пуск». Установка прервана."
LangString OMB_REGISTERING ${LANG_RUSSIAN} "Регистрация сервера: $0"
LangString OMB_UNREGISTERING ${LANG_RUSSIAN} "Снятие регистрации сервера: $0"
LangString OMB_REGISTER_FAILED ${LANG_RUSSIAN} "Не удалось зарегистрировать сервер $0 (код $1). Программа установлена, но этот сервер ей недоступен."
LangString OMB_UNREGISTER_FAILED ${LANG_RUSSIAN} "Не удалось снять регистрацию сервера $0 (код $1). Программа не удалена."
LangString OMB_FILES_LEFT ${LANG_RUSSIAN} "Некоторые файлы в папке $INSTDIR удалить не удалось: возможно, программа или сервер ещё работают. Закройте их и удалите эти файлы вручную."
