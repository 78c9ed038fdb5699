#pragma once

#include "data/database.h"

#include <QObject>

// The shared data module: holds the one connection every query of the program uses.
class Tfrmdados : public QObject
{
    Q_OBJECT
public:
    explicit Tfrmdados(QObject *owner);

    Database conexaoDB;
};

// Created by conecta_banco, owned by the application; never more than one.
extern Tfrmdados *frmdados;
